// The engine's system Lua state through the engine itself: start-up with "lua/system/main.lua",
// the frame's queued commands, queued files and graphicsStep in their order, engine events
// queued from Lua, failures with their log lines, reload, and teardown.
#include <string>
#include <vector>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "lua/blua.h"
#include "base/bsettings.h"
#include "lua_api_test_support.h"
#include "velkor/velkor.h"

namespace VadiZov::testing {
namespace {

constexpr const char* kMainScript = R"(
loads = (loads or 0) + 1
logInfo('main.lua run ' .. loads)
function engineEvent(name, value)
  logInfo('event ' .. name .. (value and (' ' .. string.format('%g', value)) or ''))
end
function graphicsStep(dt)
  logInfo(string.format('graphicsStep %.3f', dt))
end
)";

class LuaApiEngineStep : public LuaApiTest {
protected:
    void TearDown() override
    {
        if (engine)
            destroyBeamEngine(engine);
        LuaApiTest::TearDown();
    }
    void start(const char* mainScript = kMainScript)
    {
        fs.addFile("lua/system/main.lua", mainScript);
        engine = getBeamEngine();
        engine->init();
    }
    // The log's info lines since the last call.
    std::vector<std::string> infoLines()
    {
        std::vector<std::string> result;
        for (const LogLine& line : sink.lines)
            if (line.level == 1)
                result.push_back(line.text);
        sink.lines.clear();
        return result;
    }
    BeamEngineImpl& impl() { return *static_cast<BeamEngineImpl*>(engine); }

    BeamEngine* engine = nullptr;
};

TEST_F(LuaApiEngineStep, InitRunsTheSystemScriptAndCallsGraphicsStepWithZero)
{
    start();
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"main.lua run 1", "graphicsStep 0.000"}));
    engine->queueLuaCommand("logInfo(type(BeamEngine) .. ' ' .. tostring(obj) .. ' ' .. type(FS) .. ' ' .. "
                            "getmetatable(terrainBlock).__type)");
    engine->update(0.0f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"userdata nil userdata TerrainBlock", "graphicsStep 0.000"}));
    EXPECT_EQ(linesAtLevel(2).size(), 0u);
}

TEST_F(LuaApiEngineStep, CommandsThenFilesThenGraphicsStep)
{
    fs.addFile("lua/first.lua", "logInfo('file first')");
    fs.addFile("lua/second.lua", "logInfo('file second')");
    start();
    infoLines();
    // Queued in mixed order: commands still run before files.
    engine->queueLuaFile("lua/first.lua");
    engine->queueLuaCommand("logInfo('command one')");
    engine->queueLuaFile("lua/second.lua");
    engine->queueLuaCommand("logInfo('command two')");
    engine->update(0.02f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"command one", "command two", "file first", "file second",
                                                     "graphicsStep 0.020"}));
    EXPECT_TRUE(impl().queuedCommands().empty());
    EXPECT_TRUE(impl().queuedFiles().empty());
    engine->update(0.03f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"graphicsStep 0.030"}));
}

TEST_F(LuaApiEngineStep, EventQueuedByACommandRunsInTheNextFrame)
{
    start();
    infoLines();
    engine->queueLuaCommand("BeamEngine:setSimulationTimeScale(0.5) logInfo('scale ' .. "
                            "BeamEngine:getSimulationTimeScale())");
    engine->queueLuaCommand("BeamEngine:queueLuaCommand('logInfo(\"queued from Lua\")')");
    engine->update(0.01f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"scale 0.5", "graphicsStep 0.010"}));
    EXPECT_EQ(Settings::fps, 1000.0f);
    EXPECT_EQ(impl().queuedCommands(),
              (std::vector<std::string>{"engineEvent('timescale',0.500000)", "logInfo(\"queued from Lua\")"}));
    engine->update(0.01f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"event timescale 0.5", "queued from Lua", "graphicsStep 0.010"}));
}

TEST_F(LuaApiEngineStep, FailuresAreLoggedWithTheirLines)
{
    start("function graphicsStep(dt) if dt > 0.5 then error('too slow') end end");
    sink.lines.clear();
    engine->queueLuaCommand("x = = 1");
    engine->queueLuaCommand("local a = 1\nerror('boom')\nlocal b = 2");
    engine->queueLuaFile("lua/missing.lua");
    engine->update(1.0f);
    const auto errors = linesAtLevel(3);
    ASSERT_EQ(errors.size(), 8u);
    EXPECT_EQ(errors[0].text, "S0|*** FATAL LUA ERROR: [string \"engine\"]:1: unexpected symbol near '='");
    EXPECT_EQ(errors[1].text, "S0|*** while executing this line: x = = 1");
    EXPECT_EQ(errors[2].text, "S0|*** in chunk: engine");
    EXPECT_EQ(errors[3].text.rfind("S0|*** FATAL LUA ERROR: [string \"engine\"]:2: boom\nstack traceback:", 0), 0u)
        << errors[3].text;
    EXPECT_EQ(errors[4].text, "S0|*** while executing this line: error('boom')");  // the failing line alone
    EXPECT_EQ(errors[5].text, "S0|*** in chunk: engine");
    EXPECT_EQ(errors[6].text, "S0|cannot open file 'lua/missing.lua': not existing");
    // graphicsStep runs without a message handler: the message alone.
    EXPECT_EQ(errors[7].text, "[string \"lua/system/main.lua\"]:1: too slow");
    for (const LogLine& line : errors)
        EXPECT_TRUE(line.newline);
    EXPECT_EQ(lua_gettop(impl().systemLua()->state()), 0);
}

TEST_F(LuaApiEngineStep, NilTextsAreEmptyTexts)
{
    start();
    infoLines();
    engine->queueLuaCommand("BeamEngine:queueLuaCommand(nil) logInfo('exec ' .. Lua:exec(nil))");
    engine->update(0.0f);
    EXPECT_EQ(infoLines(), (std::vector<std::string>{"exec -2", "graphicsStep 0.000"}));
    EXPECT_EQ(sink.matching("cannot open file").size(), 0u);  // infoLines cleared the sink
    EXPECT_EQ(impl().queuedCommands(), std::vector<std::string>{""});
    engine->update(0.0f);  // the empty command runs as an empty chunk
    EXPECT_TRUE(linesAtLevel(3).empty());
}

TEST_F(LuaApiEngineStep, MissingGraphicsStepIsReportedOnceAndNotCalled)
{
    start("logInfo('no frame function here')");
    EXPECT_EQ(sink.matching("not found"), std::vector<std::string>{"Lua function 'graphicsStep' not found."});
    EXPECT_EQ(linesAtLevel(2).size(), 1u);
    engine->update(0.02f);
    EXPECT_TRUE(linesAtLevel(3).empty());
}

TEST_F(LuaApiEngineStep, ReloadStartsAFreshStateThatKeepsSettingsAndItsOwnGraphicsStep)
{
    start();
    engine->queueLuaCommand("Settings.max_step = 12 reloadMarker = true");
    engine->update(0.0f);
    infoLines();

    for (int reload = 0; reload < 3; ++reload) {
        engine->reloadLua();
        engine->queueLuaCommand("logInfo('marker ' .. tostring(reloadMarker) .. ' max ' .. Settings.max_step)");
        engine->update(0.04f + 0.01f * float(reload));
        const std::string step = "graphicsStep 0.0" + std::to_string(4 + reload) + "0";
        EXPECT_EQ(infoLines(), (std::vector<std::string>{"main.lua run 1", "marker nil max 12", step}));
    }
    EXPECT_EQ(Settings::max_step, 12);
}

TEST_F(LuaApiEngineStep, TeardownDestroysTheSystemState)
{
    start();
    ASSERT_NE(impl().systemLua(), nullptr);
    impl().teardown();
    EXPECT_EQ(impl().systemLua(), nullptr);
    delete engine;
    engine = nullptr;
}

} // namespace
} // namespace VadiZov::testing
