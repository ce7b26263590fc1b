#include <gtest/gtest.h>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bsettings.h"
#include "tests/support/recording_host.h"
#include "tests/support/scoped_settings.h"
#include "velkor/velkor.h"

using namespace VadiZov;
using VadiZov::testing::RecordingLogSink;

namespace {

class RecordingGameEngine final : public VadiZov::testing::NullGameEngine {
public:
    void setTimeScale(float scale) override { scales.push_back(scale); }
    std::vector<float> scales;
};

class EngineEntry : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLogStateForTests();
        Settings::fps = 2000.0f;
        Settings::fpsRealtime = 2000.0f;
        g_savedTimeScale = 1.0f;
    }
    void TearDown() override
    {
        g_logSink = nullptr;
        g_gameEngine = nullptr;
        resetLogStateForTests();
    }
    RecordingLogSink sink;
    VadiZov::testing::ScopedSettings settings;
};

} // namespace

TEST_F(EngineEntry, VersionNeedsNoEngineAndNullDestroyIsIgnored)
{
    EXPECT_EQ(getBeamEngineVersion(), 1);
    destroyBeamEngine(nullptr);
    EXPECT_EQ(g_engine, nullptr);
}

TEST_F(EngineEntry, InitLogsTheBannerEvenAboveTheMinimumLevel)
{
    setLogLevel(5);
    BeamEngine* engine = getBeamEngine();
    engine->setLogSink(&sink);
    engine->init();
    EXPECT_EQ(g_engine, static_cast<BeamEngineImpl*>(engine));
    const std::vector<std::string> expected = {" *******************", " *** SOLVANTE v2 ***", " *******************"};
    // the first and last lines are equal but do not follow each other, so both pass the filter
    EXPECT_EQ(sink.texts(), expected);
    for (const auto& line : sink.lines) {
        EXPECT_EQ(line.level, LOG_ALWAYS);
        EXPECT_TRUE(line.newline);
    }
    destroyBeamEngine(engine);
    EXPECT_EQ(g_engine, nullptr);
}

TEST_F(EngineEntry, PauseSavesTheTimeScaleAndResumeRestoresIt)
{
    RecordingGameEngine game;
    auto* engine = static_cast<BeamEngineImpl*>(getBeamEngine());
    engine->setGameEngine(&game);
    engine->init();

    engine->setSimulationTimeScale(0.5f);
    EXPECT_FLOAT_EQ(Settings::fps, 1000.0f);
    EXPECT_FLOAT_EQ(engine->getSimulationTimeScale(), 0.5f);

    EXPECT_FALSE(engine->setEnabled(false));
    EXPECT_FALSE(engine->getEnabled());
    EXPECT_FLOAT_EQ(Settings::fps, 0.0f);
    EXPECT_FALSE(engine->setEnabled(false));  // pausing twice keeps the first saved scale
    EXPECT_TRUE(engine->setEnabled(true));
    EXPECT_TRUE(engine->getEnabled());
    EXPECT_FLOAT_EQ(Settings::fps, 1000.0f);
    EXPECT_TRUE(engine->setEnabled(true));  // enabling while enabled changes nothing
    EXPECT_FLOAT_EQ(Settings::fps, 1000.0f);

    const std::vector<std::string> expectedEvents = {"engineEvent('timescale',0.500000)",
                                                     "engineEvent('timescale',0.000000)",
                                                     "engineEvent('timescale',0.500000)"};
    EXPECT_EQ(engine->queuedCommands(), expectedEvents);
    const std::vector<float> expectedScales = {0.5f, 0.0f, 0.5f};
    EXPECT_EQ(game.scales, expectedScales);
    destroyBeamEngine(engine);
}

TEST_F(EngineEntry, NegativeTimeScaleIsQueuedWithItsSignAndActsAsItsMagnitude)
{
    RecordingGameEngine game;
    auto* engine = static_cast<BeamEngineImpl*>(getBeamEngine());
    engine->setGameEngine(&game);
    engine->init();
    engine->setSimulationTimeScale(-0.25f);
    EXPECT_FLOAT_EQ(Settings::fps, 500.0f);
    ASSERT_EQ(engine->queuedCommands().size(), 1u);
    EXPECT_EQ(engine->queuedCommands()[0], "engineEvent('timescale',-0.250000)");
    ASSERT_EQ(game.scales.size(), 1u);
    EXPECT_FLOAT_EQ(game.scales[0], 0.25f);
    destroyBeamEngine(engine);
}

TEST_F(EngineEntry, CrashReportLogsAnErrorAndFlushesTheLog)
{
    VadiZov::testing::RecordingFileSystem fs;
    BeamEngine* engine = getBeamEngine();
    engine->setLogSink(&sink);
    engine->setFileSystem(&fs);
    ASSERT_NE(engine->openLogFile("velkor.log"), nullptr);
    EXPECT_EQ(engine->onCrashReport(), 7);  // the file's flush result
    ASSERT_FALSE(sink.lines.empty());
    EXPECT_EQ(sink.lines.back().level, LOG_ERROR);
    EXPECT_EQ(sink.lines.back().text, "triggered crash report ...\n");
    EXPECT_EQ(fs.files[0]->flushed, 1);
    destroyBeamEngine(engine);
    closeLogFile();
    g_fileSystem = nullptr;
}
