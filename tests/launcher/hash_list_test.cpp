#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <xxhash.h>

#include "launcher/hash_list.h"
#include "launcher/hash_list_path.h"

using namespace VadiZov;
namespace fs = std::filesystem;

namespace {

struct TempDirectory {
    fs::path path;
    TempDirectory()
    {
        std::random_device seed;
        path = fs::temp_directory_path() / ("launcher-unit-" + std::to_string(seed()));
        fs::create_directories(path);
    }
    ~TempDirectory() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& content) const
    {
        const fs::path file = path / name;
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
};

std::string hexOf(XXH32_hash_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", unsigned(value));
    return text;
}

} // namespace

TEST(HashListPath, WritesRelativeBackslashPathsOneBytePerCharacterAndEscapesTheRest)
{
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/opt/R/a.txt", "\\a.txt"},
        {"/opt/R/Bin32/Rovanta.x86.exe", "\\Bin32\\Rovanta.x86.exe"},
        {"/opt/R/caf\xC3\xA9/\xC3\xBF", "\\caf\xE9\\\xFF"},  // Latin-1 characters as their byte
        {"/opt/R/\xE2\x82\xAC.txt", "\\?u20AC.txt"},          // beyond Latin-1: escaped
        {"/opt/R/\xF0\x9F\x98\x80.txt", "\\?U01F600.txt"},
        {"/opt/R/tab\there\nnew\x01\x7F\xC2\x85", "\\tab?09here?0Anew?01?7F?85"},  // controls, C1 too
        {"/opt/R/bad\xFF\xC3.txt", "\\bad?xFF?xC3.txt"},     // no valid UTF-8
        {"/opt/R/over\xC0\xAF", "\\over?xC0?xAF"},          // overlong '/' stays no separator
        {"/opt/R/what?\\", "\\what?3F?5C"},                // the escape and separator characters
        {"/opt/R/sub/opt/R/x", "\\sub\\opt\\R\\x"},           // only the first occurrence goes
    };
    for (const auto& c : cases)
        EXPECT_EQ(hashListPath(c.path, "/opt/R"), c.expected) << c.path;
}

TEST(HashFile, GivesTheXxh32OfTheWholeContentAcrossBlocks)
{
    TempDirectory dir;
    unsigned char buffer[kHashBufferSize];
    std::string hash;

    ASSERT_TRUE(hashFile(dir.write("abc", "abc"), &hash, buffer, sizeof buffer));
    EXPECT_EQ(hash, "32D153FF");
    ASSERT_TRUE(hashFile(dir.write("empty", ""), &hash, buffer, sizeof buffer));
    EXPECT_EQ(hash, "02CC5D05");

    std::mt19937 random(7);
    for (size_t size : {kHashBufferSize - 1, kHashBufferSize, kHashBufferSize + 1, 3 * kHashBufferSize + 17}) {
        std::string content(size, '\0');
        for (char& c : content)
            c = char(random());
        const std::string path = dir.write("block", content);
        const std::string expected = hexOf(XXH32(content.data(), content.size(), 0));
        ASSERT_TRUE(hashFile(path, &hash, buffer, sizeof buffer));
        EXPECT_EQ(hash, expected) << size;
        // A small buffer reads the same content in many pieces.
        unsigned char small[5];
        ASSERT_TRUE(hashFile(path, &hash, small, sizeof small));
        EXPECT_EQ(hash, expected) << size;
    }
}

TEST(HashFile, FailsWithoutTouchingTheTextForUnreadableFiles)
{
    TempDirectory dir;
    unsigned char buffer[64];
    std::string hash = "unchanged";
    EXPECT_FALSE(hashFile((dir.path / "missing").string(), &hash, buffer, sizeof buffer));
    EXPECT_FALSE(hashFile(dir.path.string(), &hash, buffer, sizeof buffer));
    // A FIFO without a writer would block an ordinary open.
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(hashFile(fifo, &hash, buffer, sizeof buffer));
    // A regular file whose first read fails: no hash of a partial read.
    EXPECT_FALSE(hashFile("/proc/self/mem", &hash, buffer, sizeof buffer));
    EXPECT_EQ(hash, "unchanged");
}

TEST(FileSize, IsAllOnesWhenUnknown)
{
    TempDirectory dir;
    EXPECT_EQ(fileSize(dir.write("five", "12345")), 5u);
    EXPECT_EQ(fileSize((dir.path / "missing").string()), 18446744073709551615ull);
}

TEST(ListFiles, WalksOwnFilesFirstThenSubdirectoriesLastNameFirst)
{
    TempDirectory dir;
    fs::create_directories(dir.path / "a" / "inner");
    fs::create_directories(dir.path / "b" / "empty");
    for (const char* name : {"z", "a/1", "a/inner/2", "b/3", "m", "B"})
        dir.write(name, "x");
    std::vector<std::string> files{"stale"};
    ASSERT_TRUE(listFiles(dir.path.string(), "*", &files));
    const std::string root = dir.path.string();
    const std::vector<std::string> expected = {root + "/B", root + "/m", root + "/z", root + "/b/3",
                                               root + "/a/1", root + "/a/inner/2"};
    EXPECT_EQ(files, expected);

    ASSERT_TRUE(listFiles(root, "?", &files));  // the mask applies to directories as well
    EXPECT_EQ(files, (std::vector<std::string>{root + "/B", root + "/m", root + "/z", root + "/b/3",
                                               root + "/a/1"}));

    EXPECT_FALSE(listFiles(root + "/missing", "*", &files));
}
