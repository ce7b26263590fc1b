// Output files at paths a user names: nothing but a regular file with one name is written, a
// link at the end of the path is not followed, and a FIFO does not make the writer wait.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "platform/output_file.h"

using namespace VadiZov::platform;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = fs::temp_directory_path() / ("velkor-output-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(base / "folder");
        std::ofstream(base / "old.txt") << "old text";
        std::ofstream(base / "keep.txt") << "keep";
        fs::create_symlink("keep.txt", base / "link.txt");
        fs::create_symlink("missing.txt", base / "dangling.txt");
        fs::create_hard_link(base / "keep.txt", base / "hard.txt");
        ASSERT_EQ(mkfifo((base / "fifo").c_str(), 0600), 0);
    }
    void TearDown() override { fs::remove_all(base); }

    std::string at(const char* name) const { return (base / name).string(); }
    fs::path base;
};

} // namespace

TEST_F(OutputFiles, OnlyRegularFilesWithOneNameAreWrittenAndCutOnlyThen)
{
    const struct {
        const char* name;
        OutputKind kind;
        int error;  // 0: opened
    } cases[] = {
        {"new.txt", OutputKind::Missing, 0},     {"old.txt", OutputKind::File, 0},
        {"link.txt", OutputKind::Link, ELOOP},   {"dangling.txt", OutputKind::Link, ELOOP},
        {"hard.txt", OutputKind::File, EMLINK},  {"fifo", OutputKind::Other, ENXIO},
        {"folder", OutputKind::Directory, EISDIR}, {"folder/../new2.txt", OutputKind::Missing, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(outputKind(at(c.name)), c.kind) << c.name;
        std::FILE* file = openOutputFile(at(c.name));
        EXPECT_EQ(file != nullptr, c.error == 0) << c.name;
        if (file) {
            std::fputs("new", file);
            EXPECT_EQ(std::fclose(file), 0);
            EXPECT_EQ(readAll(base / c.name), "new") << c.name;
        } else {
            EXPECT_EQ(getLastError(), c.error) << c.name;
        }
    }
    EXPECT_EQ(readAll(base / "keep.txt"), "keep");
    EXPECT_FALSE(fs::exists(base / "missing.txt"));
}

TEST_F(OutputFiles, FoldersAreMadeWithTheirParentsUnlessAFileIsInTheWay)
{
    EXPECT_TRUE(makeOutputFolder(at("a/b/c/")));
    EXPECT_TRUE(fs::is_directory(base / "a" / "b" / "c"));
    EXPECT_TRUE(makeOutputFolder(at("folder")));
    EXPECT_FALSE(makeOutputFolder(at("keep.txt")));
    EXPECT_EQ(getLastError(), ENOTDIR);
    EXPECT_FALSE(makeOutputFolder(at("keep.txt/sub")));
    EXPECT_FALSE(makeOutputFolder(""));
}
