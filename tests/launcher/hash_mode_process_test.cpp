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
    // Names that would break a line, outside Latin-1, or no UTF-8 at all.
    sandbox.write("s/tab\tnew\nline", "abc");
    sandbox.write("s/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF", "abc");
    // Far beyond 260 characters.
    const std::string part(60, 'p');
    const std::string longPath = "s/" + part + "/" + part + "/" + part + "/" + part + "/" + part + "/f";
    sandbox.write(longPath, "abc");

    const RunResult run = sandbox.runLauncher({"-hash"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::string longLine = "\\" + longPath + "\t3\t32D153FF\r\n";
    std::replace(longLine.begin(), longLine.end(), '/', '\\');
    const std::string expected = line("\\Rovanta", sandbox.read("Rovanta")) +
                                 "\\s\\linked\t3\t32D153FF\r\n"
                                 "\\s\\real\t3\t32D153FF\r\n"
                                 "\\s\\tab?new?line\t3\t32D153FF\r\n"
                                 "\\s\\\xE9?\?\?\?\t3\t32D153FF\r\n" +
                                 longLine;
    EXPECT_EQ(sandbox.read("hashes.txt"), expected);
}

TEST(HashMode, ReportsAListThatCannotBeOpenedWithCodeTwo)
{
    LauncherSandbox sandbox;
    fs::create_directories(sandbox.path("hashes.txt"));
    const RunResult run = sandbox.runLauncher({"-hash"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "Unable to open hash file: " + sandbox.path("hashes.txt") + "\n");
}

TEST(HashMode, ReportsAListThatCannotBeWrittenWithCodeFour)
{
    LauncherSandbox sandbox;
    fs::create_symlink("/dev/full", sandbox.path("hashes.txt"));
    const RunResult run = sandbox.runLauncher({"-hash"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, "Unable to write hash file: " + sandbox.path("hashes.txt") + "\n");
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
    EXPECT_EQ(run.out, "Unable to get file list.\n");
    EXPECT_EQ(sandbox.read("hashes.txt"), "old list\r\n");
}
