// The time budget at every place the library calls into a script: an endless loop there ends
// with a Lua error naming the call and the state, the host's frame goes on, and a callback that
// ran out of time is not called again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "lua/blua.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/scoped_lua_limits.h"

namespace VadiZov::testing {
namespace {

constexpr double kCallSeconds = 0.2;
constexpr double kInitSeconds = 0.6;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ScriptBudget : public EngineTest {
public:
    BeamEngineImpl& theEngine() { return *engine; }

protected:
    void SetUp() override
    {
        limits_ = std::make_unique<ScopedLuaLimits>(kCallSeconds, kInitSeconds, luaLimits().memoryBytes);
        EngineTest::SetUp();
    }
    void TearDown() override
    {
        EngineTest::TearDown();
        limits_.reset();
    }
    void frame()
    {
        engine->update(0.002f);
        engine->waitForPhysicsFrame();
    }
    int count(const std::string& part) const
    {
        int n = 0;
        for (const LogLine& line : sink.lines)
            n += line.text.find(part) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    std::unique_ptr<ScopedLuaLimits> limits_;
};

struct Place {
    const char* name;
    std::string systemScript;  // empty: the usual one
    std::string objectScript;  // empty: no object
    std::function<void(ScriptBudget&, BeamObjectImpl*)> poke;  // what makes the call, after spawning
    std::string stop;          // the stop's text
    const char* dropped;       // the callback no longer called, or null
};

const std::string kObjectBase = std::string(kRecordingObjectScript) + "\n";
const std::string kLoop = "while true do end";

TEST_F(ScriptBudget, EveryCallIntoAScriptEndsOnTime)
{
    const Place places[] = {
        {"init.lua", "", kLoop, {}, "V|'obj/init.lua' ran longer than 0.6 s and was stopped", nullptr},
        {"init", "", kObjectBase + "function init() " + kLoop + " end", {},
         "V0|'init' ran longer than 0.6 s and was stopped", nullptr},
        {"graphicsStep", "", kObjectBase + "function graphicsStep() " + kLoop + " end", {},
         "V0|'graphicsStep' ran longer than 0.2 s and was stopped", "graphicsStep"},
        {"physicsStep", "", kObjectBase + "function physicsStep() " + kLoop + " end", {},
         "V0|'physicsStep' ran longer than 0.2 s and was stopped", "physicsStep"},
        {"graphicsStepLocal", "", kObjectBase + "function graphicsStepLocal() " + kLoop + " end", {},
         "V0|'graphicsStepLocal' ran longer than 0.2 s and was stopped", "graphicsStepLocal"},
        {"a stop the script's pcall swallowed", "",
         kObjectBase + "function graphicsStep() pcall(string.find, string.rep('a', 3000), '.-.-.-.-b') end", {},
         "V0|'graphicsStep' ran longer than 0.2 s and was stopped", "graphicsStep"},
        {"a chunk queued on the object", "", kObjectBase,
         [](ScriptBudget&, BeamObjectImpl* object) { object->queueLuaCommand(kLoop.c_str(), false); },
         "V0|'string' ran longer than 0.2 s and was stopped", nullptr},
        {"a chunk queued on the engine", "", "",
         [](ScriptBudget& test, BeamObjectImpl*) { test.theEngine().queueLuaCommand(kLoop.c_str()); },
         "S0|'engine' ran longer than 0.2 s and was stopped", nullptr},
        {"the system's graphicsStep", "function graphicsStep() " + kLoop + " end", "", {},
         "S0|'graphicsStep' ran longer than 0.2 s and was stopped", "graphicsStep"},
        {"the system's start script", kLoop, "", {},
         "S0|'lua/system/main.lua' ran longer than 0.6 s and was stopped", nullptr},
        {"with the full trace on", "", kObjectBase + "function graphicsStep() Lua:enableStackTraceFile('t.txt', true) " +
                                           kLoop + " end", {},
         "V0|'graphicsStep' ran longer than 0.2 s and was stopped", "graphicsStep"},
    };
    const InWorkingFolder folder;  // the trace file lands here
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        if (!place.systemScript.empty()) {
            fs.addFile("lua/system/main.lua", place.systemScript);
            engine->reloadLua();
        }
        BeamObjectImpl* object = nullptr;
        if (!place.objectScript.empty()) {
            fs.addFile("obj/init.lua", place.objectScript);
            object = addObject();
            ASSERT_NE(object, nullptr);
        }
        if (place.poke)
            place.poke(*this, object);
        for (int i = 0; i < 3; ++i)
            frame();
        EXPECT_EQ(count(place.stop), 1);
        if (place.dropped) {
            EXPECT_EQ(count(std::string("Lua function '") + place.dropped +
                            "' ran out of time and is no longer called."),
                      1);
        }
        // The host goes on, and quickly: nothing is stopped again. Five frames that each ran into
        // the budget would take five budgets; a loaded sanitizer build needs some of one.
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 5; ++i)
            frame();
        EXPECT_LT(secondsSince(start), 4 * kCallSeconds);
        EXPECT_EQ(count("ran longer than"), 1);

        engine->deleteAllObjects();
        fs.addFile("lua/system/main.lua", kSystemScript);
        engine->reloadLua();
        frame();
        clearLog();
    }
}

// The system state's clock stops while an object it spawns runs its init: the system's call is
// charged only for its own time.
TEST_F(ScriptBudget, ACallIntoAnotherStatePausesTheCallersClock)
{
    fs.addFile("obj/init.lua", kObjectBase + "function init() local t = HighPerfTimer() while t:stop() < 400 do end "
                                             "logInfo('init done') end");
    engine->queueLuaCommand("BeamEngine:spawnObject('obj', float3(0, 0, 0)) logInfo('chunk done')");
    frame();
    EXPECT_EQ(count("init done"), 1);
    EXPECT_EQ(count("chunk done"), 1);
    EXPECT_EQ(count("ran longer than"), 0);
}

} // namespace
} // namespace VadiZov::testing
