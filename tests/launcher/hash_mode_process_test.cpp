#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include "tests/launcher/launcher_sandbox.h"

using launcher_test::LauncherSandbox;
using launcher_test::RunResult;
namespace fs = std::filesystem;

namespace {

std::string line(const std::string& path, const std::string& content)
{
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08X", unsigned(XXH32(content.data(), content.size(), 0)));
    return path + "\t" + std::to_string(content.size()) + "\t" + hash + "\r\n";
}

std::string patterned(size_t size)
{
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = char(i * 131 + i / 251);
    return content;
}

} // namespace

TEST(HashMode, WritesOneLinePerFileInWalkOrder)
{
    LauncherSandbox sandbox;
    const std::string block = patterned(65536), longer = patterned(65537), deep = patterned(10);
    sandbox.write("abc.txt", "abc");
    sandbox.write("empty", "");
    sandbox.write("a/one", "abc");
    sandbox.write("a/deep/x", deep);
    sandbox.write("b/block", block);
    sandbox.write("b/longer", longer);
    fs::create_directories(sandbox.path("b/nothing"));
    const std::string launcherContent = sandbox.read("Rovanta");

    const RunResult run = sandbox.runLauncher({"-hash", "ignored"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    // Own files by name, then the subdirectories from the last name to the first.
    const std::string expected = line("\\Rovanta", launcherContent) +
                                 "\\abc.txt\t3\t32D153FF\r\n"
                                 "\\empty\t0\t02CC5D05\r\n" +
                                 line("\\b\\block", block) + line("\\b\\longer", longer) +
                                 "\\a\\one\t3\t32D153FF\r\n" + line("\\a\\deep\\x", deep);
    EXPECT_EQ(sandbox.read("hashes.txt"), expected);

    // A second run finds the list of the first and leaves it out: the same list every time.
    ASSERT_EQ(sandbox.runLauncher({"-hash"}).exitCode, 0);
    EXPECT_EQ(sandbox.read("hashes.txt"), expected);
}

TEST(HashMode, HashesOnlyRegularFilesAndNeverFollowsDirectoryLinks)
{
    LauncherSandbox sandbox;
    sandbox.write("s/real", "abc");
    ASSERT_EQ(mkfifo(sandbox.path("s/fifo").c_str(), 0600), 0);  // would block an open
    fs::create_directory_symlink(sandbox.dir(), sandbox.path("s/loop"));  // would never end
    fs::create_symlink(sandbox.path("s/real"), sandbox.path("s/linked"));
    fs::create_symlink(sandbox.path("s/gone"), sandbox.path("s/dangling"));
    fs::create_symlink("/proc/self/mem", sandbox.path("s/unreadable"));  // fails at its first read
    fs::create_symlink("/dev/null", sandbox.path("s/device"));
    // Names that would break a line, outside Latin-1, no UTF-8 at all, or spelled like another.
    sandbox.write("s/tab\tnew\nline", "abc");
    sandbox.write("s/tab\nnew\tline", "abc");
    sandbox.write("s/tab?new?line", "abc");
    sandbox.write("s/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF", "abc");
    sandbox.write("s/back\\slash", "abc");
    sandbox.write("s/back/slash", "abc");
    // Far beyond 260 characters.
    const std::string part(60, 'p');
    const std::string longPath = "s/" + part + "/" + part + "/" + part + "/" + part + "/" + part + "/f";
    sandbox.write(longPath, "abc");

    const RunResult run = sandbox.runLauncher({"-hash"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::string longLine = "\\" + longPath + "\t3\t32D153FF\r\n";
    std::replace(longLine.begin(), longLine.end(), '/', '\\');
    // Each name has its own line: '?' only ever starts an escape.
    const std::string expected = line("\\Rovanta", sandbox.read("Rovanta")) +
                                 "\\s\\back?5Cslash\t3\t32D153FF\r\n"
                                 "\\s\\linked\t3\t32D153FF\r\n"
                                 "\\s\\real\t3\t32D153FF\r\n"
                                 "\\s\\tab?09new?0Aline\t3\t32D153FF\r\n"
                                 "\\s\\tab?0Anew?09line\t3\t32D153FF\r\n"
                                 "\\s\\tab?3Fnew?3Fline\t3\t32D153FF\r\n"
                                 "\\s\\\xE9?u20AC?U01F600?xFF\t3\t32D153FF\r\n" +
                                 longLine + "\\s\\back\\slash\t3\t32D153FF\r\n";
    EXPECT_EQ(sandbox.read("hashes.txt"), expected);
}

// Only a regular file is ever written as the list: a link is not written through, a FIFO is
// not waited on.
TEST(HashMode, ReportsAListThatIsNoRegularFileWithCodeTwo)
{
    const struct {
        const char* what;
        void (*plant)(const LauncherSandbox&);
    } cases[] = {
        {"folder", [](const LauncherSandbox& s) { fs::create_directories(s.path("hashes.txt")); }},
        {"link to a file", [](const LauncherSandbox& s) {
             s.write("elsewhere/target", "kept");
             fs::create_symlink(s.path("elsewhere/target"), s.path("hashes.txt"));
         }},
        {"link to a device", [](const LauncherSandbox& s) { fs::create_symlink("/dev/full", s.path("hashes.txt")); }},
        {"FIFO", [](const LauncherSandbox& s) { ASSERT_EQ(mkfifo(s.path("hashes.txt").c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LauncherSandbox sandbox;
        c.plant(sandbox);
        const RunResult run = sandbox.runLauncher({"-hash"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "Unable to open hash file: " + sandbox.path("hashes.txt") + "\n");
        if (fs::exists(sandbox.path("elsewhere/target"))) {
            EXPECT_EQ(sandbox.read("elsewhere/target"), "kept");
        }
    }
}

TEST(HashMode, ReportsAListThatCannotBeWrittenWithCodeFour)
{
    LauncherSandbox sandbox;
    for (int i = 0; i < 40; ++i)
        sandbox.write("many/file-with-a-rather-long-name-" + std::to_string(i), "abc");
    // No file may grow past 512 bytes, and the signal for it is ignored: the list's writes fail
    // while the short message still fits.
    const RunResult run =
        sandbox.runLauncher({"-hash"}, {"sh", "-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\""});
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_EQ(run.out, "Unable to write hash file: " + sandbox.path("hashes.txt") + "\n");
}

// Without /proc the launcher cannot know where it lies: a failure, not a walk from the root.
TEST(HashMode, UnknownOwnDirectoryIsAFailureWithCodeFive)
{
    LauncherSandbox sandbox;
    if (const std::string why = launcher_test::whyProcCannotBeHidden(); !why.empty())
        GTEST_SKIP() << why;
    const RunResult run = sandbox.runLauncher(
        {"-hash"}, launcher_test::withoutProc());
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_EQ(run.out.rfind("Unable to find the launcher's directory: ", 0), 0u) << run.out;
    EXPECT_FALSE(fs::exists(sandbox.path("hashes.txt")));
}

TEST(HashMode, ReportsAFailedWalkWithCodeOneAndLeavesTheListAlone)
{
    LauncherSandbox sandbox;
    sandbox.write("hashes.txt", "old list\r\n");
    sandbox.write("locked/secret", "abc");
    fs::permissions(sandbox.path("locked"), fs::perms::none);
    // Root reads every folder; the walk only fails for an ordinary user.
    std::vector<std::string> wrapper;
    if (geteuid() == 0)
        wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    const RunResult run = sandbox.runLauncher({"-hash"}, wrapper);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "Unable to get file list.\nUnable to read directory " + sandbox.path("locked") +
                           ": Permission denied\n");
    EXPECT_EQ(sandbox.read("hashes.txt"), "old list\r\n");
}
