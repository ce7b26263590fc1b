// Status texts, the game's persistent data file and the engine events in the system state.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

#include "lua/blua.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

class EngineServices : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // "saves.json" lives in the current directory: each case gets its own.
        previous_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("velkor_objects_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
        EngineTest::TearDown();
    }
    std::string runSystem(const std::string& code)
    {
        std::string result;
        EXPECT_EQ(engine->systemLua()->executeChunk(code.data(), code.size(), "test", &result), 0) << code;
        return result;
    }
    std::filesystem::path previous_, directory_;
};

TEST_F(EngineServices, StatusTextsHaveTheirExactValues)
{
    char text[128];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(engine->getStatusText(0, text, sizeof text, nullptr), 12);
    EXPECT_STREQ(text, "enabled: yes");
    EXPECT_EQ(engine->getStatusText(3, text, sizeof text, nullptr), 10);
    EXPECT_STREQ(text, "bodies: 0 ");

    addObject();
    for (int i = 0; i < 3; ++i)
        engine->update(0.0125f);
    EXPECT_EQ(engine->getStatusText(3, text, sizeof text, nullptr), 10);
    EXPECT_STREQ(text, "bodies: 1 ");
    char expected[128];
    const int length = std::snprintf(expected, sizeof expected, "FPS: %d, dts: %0.6f s, frame delay: %0.3f ms, %d steps",
                                     engine->stepsLastSecond(), double(engine->lastSubstepTime()),
                                     double(engine->frameDelayMs()), 25);
    EXPECT_EQ(engine->getStatusText(1, text, sizeof text, nullptr), length);
    EXPECT_STREQ(text, expected);
    EXPECT_NE(std::strstr(text, "dts: 0.000500 s"), nullptr);

    engine->setEnabled(false);
    EXPECT_EQ(engine->getStatusText(0, text, sizeof text, nullptr), 11);
    EXPECT_STREQ(text, "enabled: no");
    engine->setEnabled(true);

    // Type 2 and unknown types write nothing.
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(engine->getStatusText(2, text, sizeof text, nullptr), 0);
    EXPECT_EQ(engine->getStatusText(9, text, sizeof text, nullptr), 0);
    EXPECT_EQ(text[0], 'x');
}

TEST_F(EngineServices, StatusTextsThatDoNotFitAreCutAndTerminatedWhenThereIsRoom)
{
    struct Case {
        int size;
        int result;
        const char* text;  // what the buffer then starts with
        bool terminated;
    };
    // "bodies: 0 " has 10 characters.
    const Case cases[] = {{11, 10, "bodies: 0 ", true}, {10, 10, "bodies: 0 ", false}, {4, -1, "bodi", false}};
    for (const Case& c : cases) {
        char text[16];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(engine->getStatusText(3, text, c.size, nullptr), c.result) << c.size;
        EXPECT_EQ(std::string(text, std::strlen(c.text)), c.text) << c.size;
        EXPECT_EQ(text[std::strlen(c.text)], c.terminated ? '\0' : '#') << c.size;
        EXPECT_EQ(text[c.size], '#') << c.size;  // never past the size
    }

    BeamObjectImpl* object = addObject();
    object->debugString = "0123456789";
    char text[16];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(engine->getStatusText(4, text, 4, object), 10);
    EXPECT_EQ(std::string(text, 5), "0123#");
    EXPECT_EQ(engine->getStatusText(4, text, 16, nullptr), 0);
    BeamObjectImpl outsider;
    EXPECT_EQ(engine->getStatusText(4, text, 16, &outsider), 0);
}

TEST_F(EngineServices, PersistentDataRoundTripsThroughSavesJson)
{
    EXPECT_EQ(runSystem("return tostring(BeamEngine:getPersistentData())"), "nil");
    EXPECT_EQ(runSystem("BeamEngine:setPersistentData('abc') return BeamEngine:getPersistentData()"), "abc");
    std::ifstream file("saves.json", std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(contents, "abc");
    // The text comes back with its exact length, line breaks included, nothing appended.
    EXPECT_EQ(runSystem("BeamEngine:setPersistentData('{\"a\": 1}\\n') local d = BeamEngine:getPersistentData() "
                        "return #d .. ':' .. d"),
              "9:{\"a\": 1}\n");
    EXPECT_EQ(runSystem("BeamEngine:setPersistentData('') return '[' .. BeamEngine:getPersistentData() .. ']'"),
              "[]");
}

// A link, a FIFO or a folder planted as "saves.json" is neither written through, nor waited on,
// nor read as saves; each refusal says why. A missing file stays the silent first run.
TEST_F(EngineServices, PersistentDataIsOnlyEverARegularFileOfTheWorkingDirectory)
{
    const std::filesystem::path outside = directory_.string() + "-outside.json";
    std::ofstream(outside) << "kept";
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* readError;   // "" when reading is silent
        const char* writeError;
    } const cases[] = {
        {"missing", [] {}, "", ""},
        {"link out", [&] { std::filesystem::create_symlink(outside, "saves.json"); },
         "cannot read saves.json: it leaves the directory it must stay below",
         "cannot write saves.json: it is a symbolic link"},
        {"FIFO", [] { ASSERT_EQ(mkfifo("saves.json", 0600), 0); }, "cannot read saves.json: it is not a regular file",
         "cannot write saves.json: it is not a regular file"},
        {"folder", [] { std::filesystem::create_directory("saves.json"); },
         "cannot read saves.json: it is a directory", "cannot write saves.json: it is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all("saves.json");
        c.plant();
        sink.lines.clear();
        EXPECT_EQ(runSystem("return tostring(BeamEngine:getPersistentData())"), "nil");
        EXPECT_EQ(linesStartingWith("cannot read"), std::vector<std::string>(*c.readError ? 1 : 0, c.readError));
        runSystem("BeamEngine:setPersistentData('overwritten')");
        EXPECT_EQ(linesStartingWith("cannot write"), std::vector<std::string>(*c.writeError ? 1 : 0, c.writeError));
        EXPECT_EQ(readWholeFile(outside.string()), "kept");
    }
    std::filesystem::remove(outside);
}

TEST_F(EngineServices, EngineEventsReachTheSystemStateInTheNextFrame)
{
    BeamObjectImpl* object = addObject();
    engine->reset(nullptr);
    engine->setSimulationTimeScale(0.5f);
    engine->removeObject(object);
    EXPECT_EQ(indexOf("event:spawn"), -1);
    engine->update(0.01f);
    const std::vector<std::string> events = linesStartingWith("event:");
    const std::vector<std::string> expected = {"event:spawn", "event:reset", "event:timescale 0.5", "event:despawn"};
    EXPECT_EQ(events, expected);
}

TEST_F(EngineServices, CrashReportIsLogged)
{
    engine->onCrashReport();
    EXPECT_NE(indexOf("triggered crash report ...\n"), -1);
}

} // namespace
