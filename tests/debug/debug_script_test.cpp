// Debug drawing as an object's scripts use it, through a whole engine: the debugDraw callback in
// the frame's order, primitives kept while drawing is off, the engine's render request, the
// game engine told about the switch, and a nil debugDrawProxy.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "object/bobject_debug_drawer.h"
#include "lua/binding/blua_binding_core.h"
#include "lua/blua.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/recording_debug_draw.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

// Every callback appends its name to `events`; debugDraw draws the beam and a label.
const char* const kDrawingObjectScript = R"(
events = {}
local function note(name) events[#events + 1] = name end
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1.0)
  obj:finishLoading()
end
function graphicsStep(dt) note("graphicsStep") end
function graphicsStepLocal(dt) note("graphicsStepLocal") end
function physicsStep(dt) note("physicsStep") end
function activated(v) note("activated") end
function debugDraw()
  note("debugDraw")
  local d = obj.debugDrawProxy
  d:drawBeams(0)
  d:drawNodeText(0, color(255, 255, 255, 255), "origin", 0)
end
)";

class DebugScript : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        fs.addFile("obj/init.lua", kDrawingObjectScript);
        object = addObject();
        ASSERT_NE(object, nullptr);
    }

    std::string evaluate(const std::string& code)
    {
        std::string result;
        EXPECT_EQ(object->lua().executeChunk(code.data(), code.size(), "test", &result), 0) << code;
        return result;
    }

    class FlagRecorder final : public NullGameEngine {
    public:
        void setDebugFlags(bool on) override { flags.push_back(on); }
        std::vector<bool> flags;
    };

    BeamObjectImpl* object = nullptr;
    RecordingDebugDraw host;
};

TEST_F(DebugScript, DebugDrawRunsAfterTheCommandsAndBeforeTheGraphicsStep)
{
    engine->update(0.0f);
    engine->waitForPhysicsFrame();
    runInObject(object, "events = {}; obj.debugDrawProxy:showDebug(true)");
    object->queueLuaCommand("events[#events + 1] = 'cmd'", false);
    object->setPendingActivation(1);
    engine->update(0.003f);
    engine->waitForPhysicsFrame();
    const int substeps = engine->coreParameters().substeps;
    ASSERT_GT(substeps, 0);
    std::string expected = "cmd,debugDraw,graphicsStep,activated,graphicsStepLocal";
    for (int i = 0; i < substeps; ++i)
        expected += ",physicsStep";
    EXPECT_EQ(evaluate("return table.concat(events, ',')"), expected);
}

TEST_F(DebugScript, EachFrameStartsFromAnEmptyCollectorWhileDrawingIsOn)
{
    runInObject(object, "obj.debugDrawProxy:showDebug(true)");
    for (int frame = 0; frame < 3; ++frame) {
        engine->update(0.001f);
        engine->waitForPhysicsFrame();
        host.calls.clear();
        engine->renderObjectDebug(&host, float3(), object);
        ASSERT_EQ(host.ops(), (std::vector<std::string>{"lines", "text"})) << frame;
        EXPECT_EQ(host.calls[0].points.size(), 2u);
        EXPECT_EQ(host.calls[1].text, "origin");
        EXPECT_TRUE(sameColor(host.calls[0].colours[0], color{0, 255, 0, 255}));
    }
}

// Nothing empties the collector while drawing is off, so nothing is collected then either: the
// last frame drawn stays, and a script drawing every frame cannot grow the lists without end.
TEST_F(DebugScript, WhileDrawingIsOffNothingIsCollectedAndTheLastFrameDrawnStays)
{
    runInObject(object, "obj.debugDrawProxy:showDebug(true)");
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    runInObject(object, "obj.debugDrawProxy:showDebug(false)");
    object->queueLuaCommand("obj.debugDrawProxy:drawSphere(0.5, float3(1, 2, 3), color(1, 2, 3, 4))", false);
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    const int callbacks = std::stoi(evaluate("local n = 0 for _, e in ipairs(events) do if e == 'debugDraw' then "
                                             "n = n + 1 end end return n"));
    for (int frame = 0; frame < 3; ++frame) {
        engine->update(0.001f);
        engine->waitForPhysicsFrame();
        host.calls.clear();
        engine->renderObjectDebug(&host, float3(), object);
        // The last frame drawn with drawing on; the sphere of the command was not collected.
        EXPECT_EQ(host.ops(), (std::vector<std::string>{"lines", "text"})) << frame;
    }
    EXPECT_EQ(evaluate("local n = 0 for _, e in ipairs(events) do if e == 'debugDraw' then n = n + 1 end end "
                       "return n"),
              std::to_string(callbacks));
}

TEST_F(DebugScript, ShowDebugTellsTheGameEngine)
{
    FlagRecorder flags;
    engine->setGameEngine(&flags);
    runInObject(object, "obj.debugDrawProxy:showDebug(true) obj.debugDrawProxy:showDebug(false)");
    engine->setGameEngine(&gameEngine);
    EXPECT_EQ(flags.flags, (std::vector<bool>{true, false}));
}

TEST_F(DebugScript, EveryMemberIsReachableFromLua)
{
    runInObject(object, R"(
      local d = obj.debugDrawProxy
      local c = color(10, 20, 30, 40)
      d:showDebug(true)
      d:drawLine(float3(0, 0, 0), float3(0, 0, 1), c)
      d:drawNodeLine(0, 1, c)
      d:drawBeamAlpha(0, 100)
      d:drawBeamColor(0, c)
      d:drawBeam(0)
      d:drawBeam3d(0, 0.2, c)
      d:drawBeams(1)
      d:drawText(float3(1, 1, 1), c, "hello")
      d:drawNodeText(1, c, "one", 0)
      d:drawNodeTextWithOffset(1, c, float3(0, 0, 1), "up", 0)
      d:drawNodeNumbers(c, 0)
      d:drawColTris(0, c, c)
      d:drawSphere(1.5, float3(0, 0, 0), c)
      d:drawNodeSphere(1, 0.5, c)
      d.drawCollisionTris = true
      d.drawTerrainDebug = false
      d.lastFocusPos = float3(7, 8, 9)
      assert(d.drawCollisionTris == true and d.drawTerrainDebug == false)
      assert(d.lastFocusPos.y == 8)
    )");
    debugdrawer* d = object->ownDebugDrawer();
    EXPECT_EQ(d->linePoints.size(), 12u);  // line, node line, three single beams, drawBeams(1)
    EXPECT_EQ(d->beams3d.size(), 1u);
    EXPECT_EQ(d->texts.size(), 5u);  // hello, one, up, "0", "1"
    EXPECT_EQ(d->spheres.size(), 2u);
    EXPECT_TRUE(d->drawCollisionTris);
    EXPECT_EQ(d->lastFocusPos.z, 9.0f);
    EXPECT_EQ(d->lineColors[4].a, 100);  // drawBeamAlpha keeps the alpha given
}

TEST_F(DebugScript, ANilProxyIsSkippedAndTheObjectKeepsItsCollector)
{
    runInObject(object, "obj.debugDrawProxy:showDebug(true)");
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    debugdrawer* own = object->ownDebugDrawer();
    runInObject(object, "saved = obj.debugDrawProxy; obj.debugDrawProxy = nil; events = {}");
    EXPECT_EQ(object->debugDrawProxy, nullptr);
    EXPECT_EQ(object->ownDebugDrawer(), own);
    EXPECT_EQ(evaluate("return tostring(obj.debugDrawProxy == nil)"), "true");

    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    engine->renderObjectDebug(&host, float3(), object);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(evaluate("return tostring(table.concat(events, ','):find('debugDraw') == nil)"), "true");

    // The collector is still alive and can be put back.
    runInObject(object, "saved:drawSphere(1, float3(0, 0, 0), color(1, 1, 1, 1)); obj.debugDrawProxy = saved");
    EXPECT_EQ(object->debugDrawProxy, own);
    engine->renderObjectDebug(&host, float3(), object);
    EXPECT_FALSE(host.calls.empty());
}

TEST_F(DebugScript, AnotherObjectsCollectorIsRefused)
{
    // This object could outlive the other one; holding its collector would leave a dangling
    // pointer for every later frame and render.
    auto other = std::make_unique<BeamObjectImpl>();
    lua_State* L = object->lua().state();
    LuaBinding::pushObjectPointer(L, other->ownDebugDrawer(), LuaBinding::classKeyOf<debugdrawer>());
    lua_setglobal(L, "foreign");
    clearLog();
    runInObject(object, "obj.debugDrawProxy = foreign");
    EXPECT_EQ(object->debugDrawProxy, object->ownDebugDrawer());
    EXPECT_EQ(linesStartingWith("debugDrawProxy:").size(), 1u);
    runInObject(object, "obj.debugDrawProxy = nil; obj.debugDrawProxy = foreign");
    EXPECT_EQ(object->debugDrawProxy, nullptr);
}

TEST_F(DebugScript, RenderRequestsForUnknownObjectsOrWithoutATargetDoNothing)
{
    runInObject(object, "obj.debugDrawProxy:showDebug(true) "
                        "obj.debugDrawProxy:drawSphere(1, float3(0, 0, 0), color(1, 1, 1, 1))");
    auto stranger = std::make_unique<BeamObjectImpl>();
    engine->renderObjectDebug(&host, float3(1, 1, 1), stranger.get());
    engine->renderObjectDebug(&host, float3(1, 1, 1), nullptr);
    engine->renderObjectDebug(nullptr, float3(1, 1, 1), object);
    EXPECT_TRUE(host.calls.empty());
    engine->renderObjectDebug(&host, float3(1, 1, 1), object);
    EXPECT_EQ(host.ops(), std::vector<std::string>{"sphere"});
    EXPECT_EQ(object->ownDebugDrawer()->lastFocusPos.x, 1.0f);
}

} // namespace
