// The sandbox's stand-ins for the C runtime's file, stream, environment and process functions,
// called as the Lua runtime would call them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "lua/bsandbox_stdio.h"
#include "tests/support/log_capture.h"
#include "tests/support/stored_file_system.h"

namespace VadiZov::testing {
namespace {

class SandboxStdioTest : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        g_fileSystem = &fs;
    }
    void TearDown() override
    {
        closeLogFile();
        g_fileSystem = nullptr;
        LogCapture::TearDown();
    }
    FILE* open(const char* path, const char* mode)
    {
        FILE* file = sandbox_fopen(path, mode);
        fs.takeCalls();
        return file;
    }

    StoredFileSystem fs;
};

using Strings = std::vector<std::string>;

struct RefusalCase {
    const char* what;
    std::function<long long()> call;
    const char* warning;
    long long result;
};

TEST_F(SandboxStdioTest, RefusedAndUnimplementedFunctionsWarnFlushAndFail)
{
    fs.files["keep.txt"] = "kept";
    FILE* hostFile = open("keep.txt", "r");
    ASSERT_NE(hostFile, nullptr);
    ASSERT_NE(openLogFile("log.txt"), nullptr);
    char buffer[32] = "left over from before";
    double number = 0;
    const auto pointer = [](const void* p) { return p ? 1LL : 0LL; };
    const std::vector<RefusalCase> cases = {
        {"setvbuf", [&] { return sandbox_setvbuf(hostFile, nullptr, _IOFBF, 512); },
         "Lua used unimplemented function setvbuf", 0},
        {"fscanf", [&] { return sandbox_fscanf(hostFile, "%lf", &number); }, "Lua used unimplemented function fscanf", 0},
        {"getc", [&] { return sandbox_getc(hostFile); }, "Lua used unimplemented function getc", 0},
        {"ungetc", [&] { return sandbox_ungetc('a', hostFile); }, "Lua used unimplemented function ungetc", 0},
        {"fprintf to a file", [&] { return sandbox_fprintf(hostFile, "%d", 4); },
         "Lua used unimplemented function fprintf", 0},
        {"popen", [&] { return pointer(sandbox_popen("ls -l", "r")); }, "Lua tried to open a process: ls -l (in mode r)", 0},
        {"popen of nothing", [&] { return pointer(sandbox_popen(nullptr, nullptr)); },
         "Lua tried to open a process: NULL (in mode NULL)", 0},
        {"tmpfile", [&] { return pointer(sandbox_tmpfile()); }, "Lua tried to open a tmpfile", 0},
        {"remove", [&] { return sandbox_remove("keep.txt"); }, "Lua tried to remove a file: keep.txt", -1},
        {"remove of nothing", [&] { return sandbox_remove(nullptr); }, "Lua tried to remove a file: NULL", -1},
        {"rename", [&] { return sandbox_rename("keep.txt", "gone.txt"); },
         "Lua tried to rename a file: keep.txt to gone.txt", -1},
        {"rename of nothing", [&] { return sandbox_rename(nullptr, nullptr); }, "Lua tried to rename a file: NULL to NULL", -1},
        {"system", [&] { return sandbox_system("rm -rf /"); }, "Lua tried to execute system command: rm -rf /", 0},
        {"system of nothing", [&] { return sandbox_system(nullptr); }, "Lua tried to execute system command: NULL", 0},
        {"tmpnam", [&] { return pointer(sandbox_tmpnam(buffer)); }, "Lua tried to get a temp file name: NULL", 0},
    };
    for (const RefusalCase& c : cases) {
        sink.lines.clear();
        fs.takeCalls();
        EXPECT_EQ(c.call(), c.result) << c.what;
        ASSERT_EQ(sink.lines.size(), 1u) << c.what;
        EXPECT_EQ(sink.lines[0].level, LOG_WARN) << c.what;
        EXPECT_EQ(sink.lines[0].text, c.warning) << c.what;
        // Written and flushed at once; the host file itself was not touched.
        EXPECT_EQ(fs.takeCalls(), (Strings{"write log.txt", "flush log.txt"})) << c.what;
    }
    EXPECT_EQ(fs.files.at("keep.txt"), "kept");
    EXPECT_EQ(fs.files.count("gone.txt"), 0u);
    sandbox_fclose(hostFile);
}

struct OpenCase {
    const char* mode;
    bool exists;
    Strings calls;
    bool opens;
};

TEST_F(SandboxStdioTest, OpenAsksForExistenceOnlyForReadingModes)
{
    const std::vector<OpenCase> cases = {
        {"r", false, {"fileExists f.txt"}, false},
        {"r", true, {"fileExists f.txt", "openFile f.txt r"}, true},
        {"rb", true, {"fileExists f.txt", "openFile f.txt rb"}, true},
        {"r+", false, {"fileExists f.txt"}, false},
        {"r+", true, {"fileExists f.txt", "openFile f.txt r+"}, true},
        {"Rb", false, {"fileExists f.txt"}, false},
        {"w", false, {"openFile f.txt w"}, true},
        {"a", false, {"openFile f.txt a"}, true},
        {"wb+", true, {"openFile f.txt wb+"}, true},
    };
    for (const OpenCase& c : cases) {
        fs.files.clear();
        if (c.exists)
            fs.files["f.txt"] = "x";
        FILE* file = sandbox_fopen("f.txt", c.mode);
        EXPECT_EQ(fs.takeCalls(), c.calls) << c.mode << " exists " << c.exists;
        EXPECT_EQ(file != nullptr, c.opens) << c.mode;
        EXPECT_EQ(sandbox_isRegistered(file), c.opens) << c.mode;
        sandbox_fclose(file);
        fs.takeCalls();
    }
    g_fileSystem = nullptr;
    EXPECT_EQ(sandbox_fopen("f.txt", "w"), nullptr);
    EXPECT_TRUE(fs.takeCalls().empty());
}

TEST_F(SandboxStdioTest, RegisteredHandleReachesItsHostFile)
{
    FILE* file = open("notes.txt", "w+");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(sandbox_fwrite("line one\nline", 1, 13, file), 13u);
    EXPECT_EQ(sandbox_fputc('!', file), '!');
    EXPECT_EQ(sandbox_fputs("\n", file), 0);
    EXPECT_EQ(sandbox_fflush(file), 0);
    EXPECT_EQ(sandbox_ftell(file), 15);
    EXPECT_EQ(sandbox_fseek(file, 0, SEEK_SET), 0);
    char line[32];
    EXPECT_EQ(sandbox_fgets(line, sizeof line, file), line);
    EXPECT_STREQ(line, "line one\n");
    char rest[8] = {};
    EXPECT_EQ(sandbox_fread(rest, 2, 3, file), 3u);
    EXPECT_STREQ(rest, "line!\n");
    EXPECT_EQ(sandbox_feof(file), 1);
    EXPECT_EQ(sandbox_ferror(file), 0);
    EXPECT_EQ(fs.files.at("notes.txt"), "line one\nline!\n");
    EXPECT_EQ(fs.takeCalls(), (Strings{"write notes.txt", "write notes.txt", "write notes.txt", "flush notes.txt",
                                       "seek notes.txt", "gets notes.txt", "read notes.txt"}));

    EXPECT_EQ(sandbox_fclose(file), 0);
    EXPECT_FALSE(sandbox_isRegistered(file));
    EXPECT_EQ(fs.takeCalls(), Strings{"close notes.txt"});
    // Closed: every function treats it as not open, and the host hears nothing.
    EXPECT_EQ(sandbox_fclose(file), 0);
    EXPECT_EQ(sandbox_fwrite("x", 1, 1, file), 0u);
    EXPECT_EQ(sandbox_fread(rest, 1, 1, file), 0u);
    EXPECT_EQ(sandbox_fgets(line, sizeof line, file), nullptr);
    EXPECT_EQ(sandbox_fseek(file, 0, SEEK_SET), 0);
    EXPECT_TRUE(fs.takeCalls().empty());
}

TEST_F(SandboxStdioTest, HandleNeverOpenedIsNotOpen)
{
    StoredFile stray(fs, "stray.txt", false);
    FILE* file = reinterpret_cast<FILE*>(static_cast<FilePure*>(&stray));
    char buffer[8];
    EXPECT_EQ(sandbox_fclose(file), 0);
    EXPECT_EQ(sandbox_fflush(file), 0);
    EXPECT_EQ(sandbox_fread(buffer, 1, 8, file), 0u);
    EXPECT_EQ(sandbox_fwrite("abc", 1, 3, file), 0u);
    EXPECT_EQ(sandbox_fgets(buffer, 8, file), nullptr);
    EXPECT_EQ(sandbox_fputc('a', file), 0);
    EXPECT_EQ(sandbox_fputs("a", file), 0);
    EXPECT_EQ(sandbox_fseek(file, 1, SEEK_SET), 0);
    EXPECT_EQ(sandbox_ftell(file), 0);
    EXPECT_EQ(sandbox_feof(file), 0);
    EXPECT_EQ(sandbox_ferror(file), 0);
    EXPECT_EQ(sandbox_pclose(file), 0);
    sandbox_clearerr(file);
    EXPECT_FALSE(stray.closed);
    EXPECT_TRUE(fs.takeCalls().empty());
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(SandboxStdioTest, StandardOutputAndErrorGoToTheLog)
{
    // Exactly size * count bytes, with no zero after them: reading on would be caught by ASan.
    auto data = std::make_unique<char[]>(4);
    std::memcpy(data.get(), "wxyz", 4);
    EXPECT_EQ(sandbox_fwrite(data.get(), 1, 3, stdout), 3u);
    EXPECT_EQ(sandbox_fwrite(data.get(), 2, 2, stderr), 2u);
    EXPECT_EQ(sandbox_fwrite("ab\0cd", 1, 5, stdout), 5u);  // a text ends at its zero byte
    EXPECT_EQ(sandbox_fputs("oops", stderr), 0);
    EXPECT_EQ(sandbox_fputs("lost", stdout), 0);              // stays unwritten
    EXPECT_EQ(sandbox_putchar('\t'), 0);
    ASSERT_EQ(sink.lines.size(), 5u);
    const std::vector<std::pair<int, std::string>> expected = {
        {LOG_ALWAYS, "wxy"}, {LOG_ERROR, "wxyz"}, {LOG_ALWAYS, "ab"}, {LOG_ERROR, "oops"}, {LOG_ALWAYS, "\t"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sink.lines[i].level, expected[i].first) << i;
        EXPECT_EQ(sink.lines[i].text, expected[i].second) << i;
        EXPECT_FALSE(sink.lines[i].newline) << i;
    }

    char buffer[8];
    EXPECT_EQ(sandbox_fread(buffer, 1, 8, stdout), 0u);
    EXPECT_EQ(sandbox_fgets(buffer, 8, stderr), nullptr);
    EXPECT_EQ(sandbox_fwrite("x", 1, 1, stdin), 0u);
    EXPECT_EQ(sandbox_fclose(stdout), 0);
    EXPECT_EQ(sandbox_fflush(stderr), 0);
    EXPECT_EQ(sink.lines.size(), 5u);
}

TEST_F(SandboxStdioTest, FprintfToAStandardStreamWritesTheProcessOutput)
{
    ::testing::internal::CaptureStdout();
    const int written = sandbox_fprintf(stderr, "n=%d %s", 42, "ok");
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "n=42 ok");
    EXPECT_EQ(written, 7);
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(SandboxStdioTest, EnvironmentIsEmpty)
{
    setenv("VELKOR_SANDBOX_PROBE", "visible", 1);
    EXPECT_EQ(sandbox_getenv("VELKOR_SANDBOX_PROBE"), nullptr);
    EXPECT_EQ(sandbox_getenv("PATH"), nullptr);
    unsetenv("VELKOR_SANDBOX_PROBE");
}

// The log sink of a child process: what the parent can read is the child's standard error.
class StderrSink final : public LogSink {
public:
    void log(int level, const char* text, bool newline) override
    {
        std::fprintf(stderr, "[%d] %s%s", level, text, newline ? "\n" : "");
    }
};

TEST_F(SandboxStdioTest, ExitLogsAndEndsTheProcessWithItsStatus)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static StderrSink childSink;
            g_logSink = &childSink;
            sandbox_exit(7);
        },
        ::testing::ExitedWithCode(7), "\\[3\\] Fatal Lua Error\\. Lua is exiting with error 7");
}

} // namespace
} // namespace VadiZov::testing
