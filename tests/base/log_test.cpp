#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "platform/last_error.h"
#include "tests/support/recording_host.h"

using namespace VadiZov;
using VadiZov::testing::RecordingFileSystem;
using VadiZov::testing::RecordingLogSink;

namespace {

class Log : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLogStateForTests();
        g_logSink = &sink;
        g_fileSystem = &fs;
    }
    void TearDown() override
    {
        closeLogFile();
        g_logSink = nullptr;
        g_fileSystem = nullptr;
        resetLogStateForTests();
    }
    RecordingLogSink sink;
    RecordingFileSystem fs;
};

} // namespace

TEST_F(Log, MinimumLevelFiltersEverythingButAlways)
{
    struct Case {
        int minimum;
        std::vector<int> passing;
    };
    const Case cases[] = {
        {1, {1, 2, 3, 4, 5, 9}},  // debug never passes at the default level
        {0, {1, 2, 3, 4, 5, 9}},  // setLogLevel(0) keeps the level unchanged
        {3, {3, 4, 5, 9}},
        {5, {4, 5, 9}},           // level 4 passes whatever the minimum
    };
    for (const Case& c : cases) {
        resetLogStateForTests();
        sink.lines.clear();
        EXPECT_EQ(setLogLevel(c.minimum), c.minimum);
        for (int level : {0, 1, 2, 3, 4, 5, 9})
            logMessage(level, ("message at " + std::to_string(level)).c_str(), true);
        std::vector<int> seen;
        for (const auto& l : sink.lines)
            seen.push_back(l.level);
        EXPECT_EQ(seen, c.passing) << "minimum " << c.minimum;
    }
}

TEST_F(Log, RepeatFilterDropsOnlyTheSameTextAtTheSameLevelInARow)
{
    logWarn("tyre burst");
    logWarn("tyre burst");                 // dropped
    logMessage(LOG_ERROR, "tyre burst", true);  // same text, other level: passes
    logInfo("something else");
    logMessage(LOG_ERROR, "tyre burst", true);  // after another message: passes again
    logDebug("debug text is discarded");
    logMessage(LOG_INFO, nullptr, true);   // null text dropped
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"tyre burst", "tyre burst", "something else", "tyre burst"}));
}

TEST_F(Log, SinkGetsTextAndNewlineFlagWithoutPrefix)
{
    logAlwaysNoNewline("partial");
    logErrorNoNewline("err partial");
    logError("whole");
    ASSERT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[0].level, LOG_ALWAYS);
    EXPECT_FALSE(sink.lines[0].newline);
    EXPECT_EQ(sink.lines[1].level, LOG_ERROR);
    EXPECT_FALSE(sink.lines[1].newline);
    EXPECT_TRUE(sink.lines[2].newline);
    EXPECT_EQ(sink.lines[2].text, "whole");
}

TEST_F(Log, FileLinesCarryTheLevelPrefixes)
{
    ASSERT_NE(openLogFile("game.log"), nullptr);
    EXPECT_EQ(fs.opened, (std::vector<std::string>{"game.log|w"}));
    setLogLevel(-5);  // lets every level through
    logMessage(0, "d", true);
    logMessage(1, "i", true);
    logMessage(2, "w", true);
    logMessage(3, "e", true);
    logMessage(4, "a", true);
    logMessage(7, "seven", true);
    logMessage(-2, "minus", false);
    EXPECT_EQ(fs.files[0]->contents, "DBG  |d\nINFO |i\nWARN |w\nERR  |e\na\nLVL7 |seven\nLVL-2 |minus");
    for (const auto& w : fs.files[0]->writes) {
        EXPECT_EQ(w.bufferSize, 511u);
        EXPECT_EQ(w.count, 1u);
    }
    EXPECT_EQ(flushLog(), 7);
}

TEST_F(Log, EveryLineOfAMessageGetsItsPrefixSoNoneCanPassForAnother)
{
    struct Case {
        int level;
        const char* text;
        bool newline;
        const char* file;
    };
    const Case cases[] = {
        {LOG_INFO, "a\nERR  |forged", true, "INFO |a\nINFO |ERR  |forged\n"},
        {LOG_ERROR, "x\n\ny", true, "ERR  |x\nERR  |\nERR  |y\n"},
        {LOG_WARN, "ends with a line end\n", true, "WARN |ends with a line end\n"},
        {LOG_WARN, "two\nparts", false, "WARN |two\nWARN |parts"},
        {LOG_INFO, "\nlead", true, "INFO |\nINFO |lead\n"},
        {LOG_ALWAYS, "p\nq", true, "p\nq\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        resetLogStateForTests();
        ASSERT_NE(openLogFile("game.log"), nullptr);  // a fresh file; the last one is closed
        logMessage(c.level, c.text, c.newline);
        EXPECT_EQ(fs.files.back()->contents, c.file);
        EXPECT_EQ(sink.lines.back().text, c.text);  // the sink still gets the message whole
    }
}

TEST_F(Log, LongMessageReachesSinkWholeAndFileCutWithItsLineEnd)
{
    openLogFile("game.log");
    const std::string longText(700, 'x');
    logInfo(longText.c_str());
    EXPECT_EQ(sink.lines.back().text, longText);
    const std::string& file = fs.files[0]->contents;
    ASSERT_EQ(file.size(), 511u);
    EXPECT_EQ(file.substr(0, 6), "INFO |");
    EXPECT_EQ(file.back(), '\n');
    logAlwaysNoNewline(longText.c_str());  // without a line end the whole 511 characters are text
    EXPECT_EQ(file.size(), 511u + 511u);
    EXPECT_EQ(file.back(), 'x');
}

TEST_F(Log, OpeningAgainClosesTheEarlierFileAndNoFileSystemMeansNoFile)
{
    openLogFile("a.log");
    openLogFile("b.log");
    EXPECT_EQ(fs.files[0]->closed, 1);
    logInfo("to b");
    EXPECT_TRUE(fs.files[0]->contents.empty());
    EXPECT_EQ(fs.files[1]->contents, "INFO |to b\n");
    g_fileSystem = nullptr;
    EXPECT_EQ(openLogFile("c.log"), nullptr);
    EXPECT_EQ(fs.files.size(), 2u);
}

TEST_F(Log, HexdumpLinesAndResult)
{
    const unsigned char bytes[20] = {'A', 'B', 0x00, 0x7f, 'z', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'q', 'r', 's', 0xff};
    EXPECT_EQ(hexdump(bytes, 20), 32u);
    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0].text, "0x000000: 41 42 00 7f 7a 01 02 03 04 05 06 07 08 09 0a 0b AB..z...........");
    EXPECT_EQ(sink.lines[1].text, "0x000010: 71 72 73 ff " + std::string(12 * 3, ' ') + "qrs." + std::string(12, ' '));
    EXPECT_EQ(hexdump(nullptr, 20), 0u);  // null data writes nothing
    EXPECT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(hexdump(bytes, 0), 0u);
}

TEST_F(Log, Win32ErrorReportCarriesCodeAndText)
{
    platform::setLastError(2);
    reportWin32Error("VadiZov::BeamEngine::init", "bengine", 63);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].level, LOG_ERROR);
    EXPECT_EQ(sink.lines[0].text,
              "VadiZov::BeamEngine::init (bengine:63) failed with error 2: " + platform::errorText(2));
}

TEST_F(Log, ToUpperConvertsEveryCharacter)
{
    EXPECT_EQ(toUpper("asphalt_01 Mud"), "ASPHALT_01 MUD");
}

// Messages come from the host, the worker and every core thread at once: the repeat memory
// and the file must stay whole.
TEST_F(Log, ConcurrentLoggingKeepsEveryLineWhole)
{
    openLogFile("game.log");
    constexpr int kThreads = 8, kMessages = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kMessages; ++i)
                logFormat(LOG_WARN, "thread %d message %d", t, i);
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(sink.lines.size(), size_t(kThreads * kMessages));
    const std::string& file = fs.files[0]->contents;
    size_t lines = 0;
    for (size_t pos = 0; pos < file.size();) {
        size_t end = file.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(file.compare(pos, 6, "WARN |"), 0);
        pos = end + 1;
        ++lines;
    }
    EXPECT_EQ(lines, size_t(kThreads * kMessages));
}
