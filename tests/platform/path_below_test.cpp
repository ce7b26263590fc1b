// Files below a root: what a link, a FIFO or a climbing path may and may not reach.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "platform/path_below.h"

using namespace VadiZov::platform;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// root/ holds a file, a folder, a FIFO and links inside and out; outside/ is next to it.
class PathBelow : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = fs::temp_directory_path() /
               ("velkor-below-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        root = (base / "root").string();
        fs::create_directories(base / "root" / "sub");
        fs::create_directories(base / "outside");
        std::ofstream(base / "root" / "file.txt") << "inside";
        std::ofstream(base / "root" / "sub" / "deep.txt") << "deep";
        std::ofstream(base / "outside" / "secret.txt") << "secret";
        ASSERT_EQ(mkfifo((base / "root" / "fifo").c_str(), 0600), 0);
        fs::create_symlink("file.txt", base / "root" / "link-inside");
        fs::create_symlink("../file.txt", base / "root" / "sub" / "link-up-inside");
        fs::create_symlink("../outside/secret.txt", base / "root" / "link-out");
        fs::create_symlink(base / "root" / "file.txt", base / "root" / "link-absolute");
        fs::create_directory_symlink("../outside", base / "root" / "dir-out");
        fs::create_symlink("/dev/zero", base / "root" / "zero");
    }
    void TearDown() override { fs::remove_all(base); }

    fs::path base;
    std::string root;
};

} // namespace

TEST(IsPathBelow, RefusesAbsoluteEmptyAndClimbingPaths)
{
    const struct {
        const char* path;
        bool below;
    } cases[] = {
        {"a.txt", true},         {"lua/system/main.lua", true}, {"./a", true},
        {"a..b/c", true},        {"", false},                   {"/etc/passwd", false},
        {"\\etc", false},        {"..", false},                 {"../x", false},
        {"a/../../x", false},    {"a\\..\\x", false},           {"a/..", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isPathBelow(c.path), c.below) << c.path;
}

TEST_F(PathBelow, ReadsFollowOnlyLinksThatStayBelowTheRoot)
{
    const struct {
        const char* path;
        bool served;
        BelowKind kind;
    } cases[] = {
        {"file.txt", true, BelowKind::File},
        {"sub/deep.txt", true, BelowKind::File},
        {"link-inside", true, BelowKind::File},
        {"sub/link-up-inside", true, BelowKind::File},
        {"link-out", false, BelowKind::Missing},
        {"dir-out/secret.txt", false, BelowKind::Missing},
        {"dir-out", false, BelowKind::Missing},
        {"link-absolute", false, BelowKind::Missing},  // an absolute target is never below
        {"zero", false, BelowKind::Missing},
        {"../outside/secret.txt", false, BelowKind::Missing},
        {"fifo", false, BelowKind::Other},  // must not block
        {"sub", false, BelowKind::Directory},
        {"missing", false, BelowKind::Missing},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kindBelow(root, c.path), c.kind) << c.path;
        std::string bytes;
        EXPECT_EQ(readFileBelow(root, c.path, 1000, &bytes), c.served) << c.path;
        if (c.served)
            EXPECT_FALSE(bytes.empty()) << c.path;
        else
            EXPECT_NE(getLastError(), 0) << c.path;
    }
    EXPECT_EQ(kindBelow(root, ""), BelowKind::Directory);
}

TEST_F(PathBelow, WritesFollowNoLinkAndCreateOnlyBelowTheRoot)
{
    std::FILE* file = openFileBelow(root, "sub/new.txt", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("written", file);
    std::fclose(file);
    EXPECT_EQ(readAll(base / "root" / "sub" / "new.txt"), "written");

    for (const char* path : {"link-inside", "link-out", "dir-out/new.txt", "fifo", "sub", "/tmp/x", "../x"}) {
        EXPECT_EQ(openFileBelow(root, path, "w"), nullptr) << path;
        EXPECT_EQ(openFileBelow(root, path, "a"), nullptr) << path;
    }
    // Nothing was written through a link or created outside.
    EXPECT_EQ(readAll(base / "root" / "file.txt"), "inside");
    EXPECT_EQ(readAll(base / "outside" / "secret.txt"), "secret");
    EXPECT_FALSE(fs::exists(base / "outside" / "new.txt"));
    EXPECT_EQ(openFileBelow(root, "file.txt", "bogus"), nullptr);
}

// A second name of a file may be the name of something that must not change: such a file is
// read, never written, and a refused file is not cut first.
TEST_F(PathBelow, WritesRefuseHardLinksBeforeCuttingAnything)
{
    fs::create_hard_link(base / "outside" / "secret.txt", base / "root" / "hard.txt");
    for (const char* mode : {"w", "a", "r+", "wb+"}) {
        EXPECT_EQ(openFileBelow(root, "hard.txt", mode), nullptr) << mode;
        EXPECT_EQ(getLastError(), EMLINK) << mode;
    }
    EXPECT_EQ(readAll(base / "outside" / "secret.txt"), "secret");
    std::string bytes;
    EXPECT_TRUE(readFileBelow(root, "hard.txt", 100, &bytes));
    EXPECT_EQ(refusalText(EMLINK), "is a hard link: the file has another name");
    // A plain file is still cut by "w" and kept by "a".
    for (const char* mode : {"a", "w"}) {
        std::FILE* file = openFileBelow(root, "file.txt", mode);
        ASSERT_NE(file, nullptr) << mode;
        std::fputs("+", file);
        std::fclose(file);
    }
    EXPECT_EQ(readAll(base / "root" / "file.txt"), "+");
}

// A writer's own files begin with its mark: only those are replaced, and the stream stops at
// its limit with the error set instead of writing on.
TEST_F(PathBelow, OwnFilesReplaceOnlyFilesWithTheMarkAndStopAtTheLimit)
{
    const char* mark = "MARK\n";
    std::FILE* file = openOwnFileBelow(root, "sub/own.txt", mark, 8);
    ASSERT_NE(file, nullptr);
    std::fputs(mark, file);
    EXPECT_EQ(std::fflush(file), 0);
    std::fputs("1234", file);  // 9 bytes in all, one past the limit
    EXPECT_NE(std::fflush(file), 0);
    EXPECT_NE(std::ferror(file), 0);
    std::fclose(file);
    EXPECT_EQ(readAll(base / "root" / "sub" / "own.txt"), "MARK\n");

    file = openOwnFileBelow(root, "sub/own.txt", mark, 0);  // its own: cut and rewritten
    ASSERT_NE(file, nullptr);
    std::fputs("MARK\nnew", file);
    std::fclose(file);
    EXPECT_EQ(readAll(base / "root" / "sub" / "own.txt"), "MARK\nnew");

    const struct {
        const char* path;
        int error;
    } refused[] = {
        {"file.txt", EEXIST}, {"link-inside", ELOOP}, {"link-out", ELOOP}, {"fifo", EINVAL},
        {"sub", EISDIR},      {"../x", EXDEV},        {"/tmp/x", EXDEV},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(openOwnFileBelow(root, c.path, mark, 0), nullptr) << c.path;
        EXPECT_EQ(getLastError(), c.error) << c.path;
    }
    EXPECT_EQ(readAll(base / "root" / "file.txt"), "inside");
    EXPECT_EQ(readAll(base / "outside" / "secret.txt"), "secret");
}

TEST_F(PathBelow, FoldersAreMadeOnlyBelowTheRootAndNeverThroughALink)
{
    EXPECT_TRUE(makeDirectoryBelow(root, "made"));
    EXPECT_TRUE(fs::is_directory(base / "root" / "made"));
    EXPECT_TRUE(makeDirectoryBelow(root, "made"));  // already there
    EXPECT_TRUE(makeDirectoryBelow(root, "sub/made"));
    for (const char* path : {"dir-out", "dir-out/made", "../made", "/tmp/made", "file.txt", "missing/made"})
        EXPECT_FALSE(makeDirectoryBelow(root, path)) << path;
    EXPECT_FALSE(fs::exists(base / "outside" / "made"));
    EXPECT_FALSE(fs::exists(base / "made"));
    EXPECT_EQ(pathComponents("./a//b\\c/"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(PathBelow, ReadsAreCappedAndDirectoriesListedInByteOrder)
{
    std::string bytes;
    EXPECT_TRUE(readFileBelow(root, "file.txt", 6, &bytes));
    EXPECT_EQ(bytes, "inside");
    EXPECT_FALSE(readFileBelow(root, "file.txt", 5, &bytes));
    EXPECT_EQ(getLastError(), EFBIG);

    std::vector<std::string> names;
    ASSERT_TRUE(listNamesBelow(root, "sub", &names));
    EXPECT_EQ(names, (std::vector<std::string>{"deep.txt", "link-up-inside"}));
    EXPECT_FALSE(listNamesBelow(root, "dir-out", &names));
    EXPECT_FALSE(listNamesBelow(root, "file.txt", &names));
}
