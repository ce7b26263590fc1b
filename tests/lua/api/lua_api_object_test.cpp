// An object driven from its own Lua state: the building API and data members through `obj`, and
// the callbacks the solver makes into the object's script (graphicsStepLocal, physicsStep,
// beamBroken, beamDeformed), with failures logged and the stack left as found.
#include <memory>
#include <string>
#include <vector>

#include "solver/bbeam_events.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "object/bobject.h"
#include "object/bobject_lua_script.h"
#include "base/bsettings.h"
#include "lua_api_test_support.h"

namespace VadiZov::testing {
namespace {

// Every callback appends "name(arguments)" to the global list `calls`.
constexpr const char* kRecordingCallbacks = R"(
calls = {}
local function record(name, ...)
  local parts = {}
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    parts[#parts + 1] = type(v) == 'number' and string.format('%g', v) or tostring(v)
  end
  calls[#calls + 1] = name .. '(' .. table.concat(parts, ',') .. ')'
end
function graphicsStepLocal(t) record('graphicsStepLocal', t) end
function physicsStep(dt) record('physicsStep', dt) end
function beamBroken(id, energy) record('beamBroken', id, type(id)) end
function beamDeformed(id, ratio) record('beamDeformed', id, ratio) end
function vehicleResetted(changed) record('vehicleResetted', changed) end
function vehicleDestroy() record('vehicleDestroy') end
function calledSoFar() local s = table.concat(calls, ' ') calls = {} return s end
)";

class LuaApiObject : public LuaApiTest {
protected:
    void SetUp() override
    {
        LuaApiTest::SetUp();
        object = std::make_unique<BeamObjectImpl>();
        lua = makeState("V0", object.get());
        script = std::make_unique<LuaObjectScript>(*lua);
    }
    void TearDown() override
    {
        object->setScript(nullptr);
        LuaApiTest::TearDown();
    }
    void run(const std::string& code)
    {
        ASSERT_EQ(lua->executeChunk(code.c_str(), code.size(), "test"), 0) << code;
    }
    // Two nodes one metre apart joined by beam 0, built from Lua.
    void buildPair()
    {
        run("obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, 0, false, true) "
            "obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, 0, false, true) "
            "pairBeam = obj:setBeam(-1, 0, 1, 1000, 100, 1, 500, 1)");
        ASSERT_EQ(object->beam_count, 1);
    }
    std::string calledSoFar() { return eval(*lua, "return calledSoFar()"); }

    std::unique_ptr<BeamObjectImpl> object;
    std::unique_ptr<Lua> lua;
    std::unique_ptr<LuaObjectScript> script;
};

TEST_F(LuaApiObject, DataMembersReadAndWriteTheObject)
{
    buildPair();
    struct Case {
        const char* code;
        const char* expected;
    };
    const Case cases[] = {
        {"return obj.node_count .. ' ' .. obj.beam_count", "2 1"},
        {"return tostring(obj.mesh)", "nil"},
        {"obj.slipTireMarkThreshold = 4.5 obj.activationMode = 3 return obj.slipTireMarkThreshold + obj.activationMode",
         "7.5"},
        // A float3 member reads as a copy; assigning one copies the values in.
        {"local b = obj.boundingBoxMin b.x = 5 return obj.boundingBoxMin.x", "0"},
        {"obj.boundingBoxMax = float3(1, 2, 3) return tostring(obj.boundingBoxMax)", "(1, 2, 3)"},
        // Counts never leave the capacities the solver walks.
        {"obj.node_count = 5000 return obj.node_count", "2000"},
        {"obj.wheel_count = -3 return obj.wheel_count", "0"},
        {"obj.beam_count = 10001 obj.prop_count = 301 obj.flexmesh_count = 301 obj.internal_camera_count = 51 "
         "return obj.beam_count .. ' ' .. obj.prop_count .. ' ' .. obj.flexmesh_count .. ' ' .. "
         "obj.internal_camera_count",
         "10000 300 300 50"},
        {"obj.node_count = 2 return obj:getBeamForce(0) == obj:getBeamForce(0)", "true"},
        // A nil text is no command; a kept one answers with its place in the queue.
        {"return obj:queueLuaCommand(nil, false) .. ' ' .. obj:queueLuaCommand('x = 1', true) .. ' ' .. "
         "tostring(obj:getLuaResult(0))",
         "-2 0 nil"},
        {"return tostring(pairBeam:isValid()) .. ' ' .. tostring(obj:setBeam(20000, 0, 1, 1, 1, 1, 1, 1):isValid())",
         "true false"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(*lua, c.code), c.expected) << c.code;
    EXPECT_EQ(object->slipTireMarkThreshold, 4.5f);
    EXPECT_EQ(object->boundingBoxMax.z, 3.0f);
    ASSERT_EQ(object->luaCommands.size(), 1u);
    EXPECT_EQ(object->luaCommands[0].first, "x = 1");
}

TEST_F(LuaApiObject, MissingCallbacksAreReportedInLookupOrder)
{
    run("function physicsStep(dt) end function beamBroken(id, e) end graphicsStep = 5");
    script->cacheCallbacks();
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{
                                "Lua function 'graphicsStepLocal' not found.",
                                "Lua function 'beamDeformed' not found.",
                                "Lua function 'vehicleResetted' not found.",
                                "Lua function 'vehicleDestroy' not found.",
                                "Lua function 'particleEmitted' not found.",
                                "Lua function 'activated' not found.",
                                "Lua function 'debugDraw' not found.",
                            }));
    for (const LogLine& line : sink.lines)
        EXPECT_EQ(line.level, 2);
    EXPECT_TRUE(script->hasCallback(ObjectCallback::physicsStep));
    EXPECT_FALSE(script->hasCallback(ObjectCallback::graphicsStepLocal));
    // A global that is not a function is still referenced; calling it is a logged failure.
    std::string error;
    EXPECT_FALSE(script->graphicsStep(0.1f, error));
    EXPECT_EQ(error, "attempt to call a number value");
    error.clear();
    EXPECT_TRUE(script->graphicsStepLocal(0.1f, error));  // absent: not called, no failure
    EXPECT_TRUE(error.empty());
}

TEST_F(LuaApiObject, SubstepCallsGraphicsStepLocalOnceAndPhysicsStepEverySubstep)
{
    run(kRecordingCallbacks);
    script->cacheCallbacks();
    object->setScript(script.get());
    BeamObjectRecords* slots[1] = {object.get()};
    SubstepContext context;
    core_parameters_t params;
    params.objects = slots;
    params.objectCount = 1;
    params.dt = kSubstepTime;
    params.substeps = 3;
    params.frameTime = 3 * kSubstepTime;
    for (int i = 0; i < 3; ++i) {
        params.currentSubstep = i;
        params.lastSubstep = i == 2;
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::forceStage(*object, context, params);
    }
    EXPECT_EQ(calledSoFar(), "graphicsStepLocal(0.0015) physicsStep(0.0005) physicsStep(0.0005) physicsStep(0.0005)");
}

TEST_F(LuaApiObject, BeamEventsReachTheScriptWithTheirArguments)
{
    run(kRecordingCallbacks);
    buildPair();
    script->cacheCallbacks();
    object->setScript(script.get());

    run("pairBeam:setDeformationTriggerRatio(0.1)");
    object->beams[0].restLength = 1.25f;  // the solver moved the rest length by 25 %
    notifyBeamDeformed(*object, 0);
    object->beams[0].restLength = 1.3f;  // 4 % since the last notice: below the trigger
    notifyBeamDeformed(*object, 0);
    EXPECT_EQ(calledSoFar(), "beamDeformed(0,0.25)");

    breakBeam(*object, 0);
    run("obj:breakBeam(0)");  // already broken: not told again
    EXPECT_EQ(calledSoFar(), "beamBroken(0,number)");
    EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);

    object->reset(true);
    EXPECT_EQ(calledSoFar(), "vehicleResetted(true)");
}

TEST_F(LuaApiObject, FailingCallbackIsLoggedEverySubstepAndLeavesTheStackAsFound)
{
    run("function physicsStep(dt) error('physics failed') end "
        "function beamBroken(id, e) error({}) end");
    script->cacheCallbacks();
    object->setScript(script.get());
    buildPair();
    sink.lines.clear();

    lua_State* L = lua->state();
    lua_pushinteger(L, 42);  // something of the caller's that must survive
    const int top = lua_gettop(L);
    for (int i = 0; i < 100000; ++i)
        BeamSubstep::callPhysicsStep(*object, kSubstepTime);
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_EQ(lua_tointeger(L, -1), 42);
    // The repeat filter keeps one copy of the line; it is the Lua message alone.
    const auto errors = linesAtLevel(3);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "[string \"test\"]:1: physics failed");
    EXPECT_TRUE(errors[0].newline);

    // An error value that is not a string is logged as tostring writes it.
    breakBeam(*object, 0);
    EXPECT_EQ(linesAtLevel(3).back().text.rfind("table: 0x", 0), 0u) << linesAtLevel(3).back().text;
    EXPECT_EQ(lua_gettop(L), top);
}

TEST_F(LuaApiObject, CallbacksOfAReplacedStateAreNotCalledUntilLookedUpAgain)
{
    run(kRecordingCallbacks);
    script->cacheCallbacks();
    lua->initialize(object.get(), nullptr);  // a new state: the references belonged to the old one
    run(kRecordingCallbacks);
    std::string error;
    EXPECT_TRUE(script->physicsStep(kSubstepTime, error));
    EXPECT_EQ(calledSoFar(), "");
    script->cacheCallbacks();
    EXPECT_TRUE(script->physicsStep(kSubstepTime, error));
    EXPECT_EQ(calledSoFar(), "physicsStep(0.0005)");
}

} // namespace
} // namespace VadiZov::testing
