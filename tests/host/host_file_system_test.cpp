// What scripts write below written/ is held to a size per file and a total per run; each
// refusal is printed once and the write reports a failure, never a partial success.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "host/host_file_system.h"

namespace fs = std::filesystem;
using VadiZov::FilePure;
using VadiZov::host::DiskFileSystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WrittenLimits : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("velkor-written-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "written");
        std::ofstream(root / "written" / "old.txt") << "12345678";
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
};

TEST_F(WrittenLimits, AFileStopsAtItsLimitHoweverTheBytesArrive)
{
    struct Step {
        const char* what;
        bool admitted;
    };
    const struct {
        const char* path;
        const char* mode;
        long seekTo;  // -1: no seek
        std::vector<Step> steps;
        const char* content;
    } cases[] = {
        {"written/w.txt", "w", -1, {{"0123456789", true}, {"x", false}}, "0123456789"},
        {"written/s.txt", "w", 8, {{"abc", false}, {"ab", true}}, nullptr},
        {"written/old.txt", "a", -1, {{"abc", false}, {"c", true}, {"d", true}, {"e", false}}, "12345678cd"},
        {"written/old.txt", "r+", 9, {{"ab", false}, {"a", true}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.mode);
        std::ofstream(root / "written" / "old.txt") << "12345678";
        DiskFileSystem files(root.string(), 10, 1000);
        FilePure* file = files.openFile(c.path, c.mode);
        ASSERT_NE(file, nullptr);
        if (c.seekTo >= 0) {
            ASSERT_EQ(file->seek(c.seekTo, SEEK_SET), 0);
        }
        ::testing::internal::CaptureStdout();
        for (const Step& step : c.steps) {
            const std::string text = step.what;
            // Single characters go through putc, longer texts alternately through write and puts.
            bool written;
            if (text.size() == 1)
                written = file->putc(text[0], file) != EOF;
            else if (text.size() % 2 == 0)
                written = file->puts(text.c_str()) != EOF;
            else
                written = file->write(text.data(), 0, 1, text.size()) == text.size();
            EXPECT_EQ(written, step.admitted) << text;
        }
        const bool failed = file->error() != 0;
        file->close();
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(failed);
        // One message however many writes were refused.
        EXPECT_EQ(out, std::string("velkor-host: ") + c.path +
                           " not written: a file below written/ holds at most 10 bytes\n");
        if (c.content) {
            EXPECT_EQ(readAll(root / c.path), c.content);
        }
        EXPECT_EQ(fs::file_size(root / c.path), 10u);
    }
}

TEST_F(WrittenLimits, AllFilesOfARunShareOneTotalButTheLogIsNotCounted)
{
    DiskFileSystem files(root.string(), 10, 25);
    files.permitLogFile("run.log");
    FilePure* log = files.openFile("run.log", "w");
    ASSERT_NE(log, nullptr);
    EXPECT_NE(log->puts("the engine's log is not a script's file"), EOF);
    log->close();

    ::testing::internal::CaptureStdout();
    std::vector<bool> admitted;
    for (const char* name : {"written/a.txt", "written/b.txt", "written/c.txt", "written/d.txt"}) {
        FilePure* file = files.openFile(name, "w");
        ASSERT_NE(file, nullptr);
        admitted.push_back(file->write("0123456789", 0, 1, 10) == 10);
        file->close();
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(admitted, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(out, "velkor-host: written/c.txt not written: scripts write at most 25 bytes below written/ in a run\n");
    EXPECT_EQ(readAll(root / "run.log"), "the engine's log is not a script's file");
    EXPECT_EQ(fs::file_size(root / "written" / "c.txt"), 0u);
}

} // namespace
