// Objects added, reset, deleted and spawned again from scripts, frame after frame, while the
// scripts keep and poke handles of objects long gone. The sanitizer build runs this too: no
// report, nothing left allocated at the end, and the system state's memory stays bounded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "base/blog.h"
#include "object/bobject_debug_drawer.h"
#include "lua/blua.h"
#include "object/bflexmesh.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

constexpr int kFrames = 10000;

// The system script runs the churn from its graphicsStep; every sixteenth frame it logs how many
// handles it kept and how many of the calls through them were refused.
const char* const kChurnSystem = R"(
local frame, spawned, refused, kept = 0, 0, 0, {}
local function keep(h) if h ~= nil then kept[#kept % 24 + 1] = h end end
local function poke(h)
  if not pcall(function() return h.node_count end) then refused = refused + 1 end
end
function graphicsStep(dt)
  frame = frame + 1
  local step = frame % 16
  local o = BeamEngine:getSlot(0)
  if step == 1 and o == nil then
    BeamEngine:spawnObject('obj', float3(0, 0, frame % 7))
    if BeamEngine:getSlot(0) then spawned = spawned + 1 end
  elseif step == 3 and o then
    keep(o) keep(o:getWheel(0)) keep(o:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1))
    o:requestReset(RESET_PHYSICS)
  elseif step == 5 and o then
    o:requestReset(RESET_COMPLETELY)
  elseif step == 7 then
    BeamEngine:deleteAllObjects()
  elseif step == 9 and o == nil then
    keep(BeamEngine:getSlot(-1))          -- an empty object made in the slot
  elseif step == 10 then
    pcall(BeamEngine.setSlot, BeamEngine, 0, kept[1])  -- a stale one is refused with a Lua error
  elseif step == 12 then
    BeamEngine:deleteAllObjects()
  end
  for i = 1, #kept do poke(kept[i]) end
  if frame % 1000 == 0 then
    logInfo(string.format('churn frame %d spawned %d refused %d memory %d', frame, spawned, refused,
                          collectgarbage('count')))
  end
end
)";

// The object deletes itself now and then from its own update and tries to come back when it
// is destroyed; both must settle without a loop.
const char* const kChurnObject = R"(
local frames = 0
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1.0)
  obj:setWheel(-1, 0, 1, -1)
  obj:finishLoading()
end
function graphicsStep(dt)
  frames = frames + 1
  if frames == 6 and obj.node_count % 2 == 0 then BeamEngine:deleteAllObjects() end
end
function physicsStep(dt) end
function vehicleDestroy() BeamEngine:spawnObject('obj', float3(0, 0, 1)) end
)";

class ObjectChurn : public EngineTest {};

int numberAfter(const std::string& line, const std::string& word)
{
    const size_t at = line.find(" " + word + " ");
    return at == std::string::npos ? -1 : std::stoi(line.substr(at + word.size() + 2));
}

TEST_F(ObjectChurn, ScriptsAddResetDeleteAndRespawnForTenThousandFrames)
{
    ScopedSettings settings;
    fs.addFile("lua/system/main.lua", kChurnSystem);
    fs.addFile("obj/init.lua", kChurnObject);
    engine->reloadLua();
    for (int frame = 1; frame <= kFrames; ++frame) {
        engine->update(0.002f);
        if (frame % 1000 == 500)
            engine->reset(nullptr);  // the host resets now and then as well
        if (frame % 2000 == 500)
            clearLog();  // the log of ten thousand frames is not needed whole
    }
    engine->waitForPhysicsFrame();

    const auto lines = linesStartingWith("churn frame ");
    ASSERT_FALSE(lines.empty());
    const std::string& last = lines.back();
    EXPECT_EQ(numberAfter(last, "frame"), kFrames);
    EXPECT_GE(numberAfter(last, "spawned"), kFrames / 32);  // objects really came and went
    EXPECT_GT(numberAfter(last, "refused"), 0);             // stale handles were refused
    // The kept handles are a ring of 24: the state does not grow with the frames.
    EXPECT_LT(numberAfter(last, "memory"), 4096);
    EXPECT_LE(engine->getSlotCount(), 1);
}

// Every list a script can grow, filled past its capacity from the object's own script (or the
// system state's): the list stops at the capacity, the refusal is logged, and the object still
// steps. Each case starts from a fresh object.
const char* const kGrowingObject = R"(
function init()
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1)
  obj:setGravity(0)
  obj:finishLoading()
end
)";

TEST_F(ObjectChurn, GrowingListsStopAtTheirCapacities)
{
    fs.addFile("obj/init.lua", kGrowingObject);
    using Size = std::function<size_t(BeamEngineImpl&, BeamObjectImpl&)>;
    struct Case {
        bool inSystem;
        const char* fill;
        size_t capacity;
        Size size;
        const char* refusal;
    };
    const Case cases[] = {
        {false, "for i = 1, 1010 do obj:addRail(i % 2) end", 1000,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.rails.size(); },
         "*** addRail: no room for more than 1000 rails, refused"},
        {false, "obj:addRail(0) obj:addRail(1) for i = 1, 10010 do obj:addRailLink(i % 2, i % 3, 0, 0) end", 10000,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.rails[0].links.size() + o.rails[1].links.size(); },
         "*** addRailLink: no room for more than 10000 rail links, refused"},
        {false, "obj:addRail(0) obj:addRailLink(0, 0, 0, 0) obj:addRailLink(0, 1, 0, 0) "
                "for i = 1, 2010 do obj:addSlidenode(2, 0, 1, 0, 0, 100, 1e9, 1e9) end",
         2000, [](BeamEngineImpl&, BeamObjectImpl& o) { return o.slideNodes.size(); },
         "*** addSlidenode: no room for more than 2000 slide nodes, refused"},
        {false, "for i = 1, 10010 do obj:setCollisionTriangle(-1, 0, 1, 2, 0, -1, -1, 0, nil) end "
                "obj:setCollisionTriangle(obj:getTriangleCount(), 0, 1, 2, 0, -1, -1, 0, nil)",
         10000, [](BeamEngineImpl&, BeamObjectImpl& o) { return o.collisionTriangles.size(); },
         "*** setCollisionTriangle: no room for more than 10000 collision triangles, refused"},
        {false, "for i = 1, 1030 do obj:queueLuaCommand('queued = (queued or 0) + 1', false) end", 1024,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.luaCommands.size(); },
         "*** queueLuaCommand: no room for more than 1024 queued commands, refused"},
        {true, "for i = 1, 1030 do BeamEngine:queueLuaCommand('queued = (queued or 0) + 1') end", 1024,
         [](BeamEngineImpl& e, BeamObjectImpl&) { return e.queuedCommands().size(); },
         "*** queueLuaCommand: no room for more than 1024 queued commands, refused"},
        {false, "for i = 1, 1030 do obj:executeJS('tick()', i) end", 1024,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.javaScript.luaHalf.size(); },
         "*** executeJS: no room for more than 1024 queued commands, refused"},
        {false, "local big = string.rep('x', 1048576) for i = 1, 20 do obj:executeJS(big, i) end", 16,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.javaScript.luaHalf.size(); },
         "*** executeJS: no room for more than 16777216 bytes of queued commands, refused"},
        {false, "local s = gameEngine:playSFXOnce('hum') for i = 1, 1030 do obj:setVolume(s, 1) end", 1024,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.sounds.luaHalf.size(); },
         "*** setVolume: no room for more than 1024 queued sound actions, refused"},
        {false, "for i = 1, 300 do obj:playSFXOnce('horn', 0, 1, 1) end", 256,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.sounds.luaHalf.size(); },
         "*** playSFXOnce: no room for more than 256 one-shot sounds this frame, refused"},
        // Queued text is bounded by the byte as well: a few huge strings would pass any count.
        {false, "local big = string.rep('n', 65536) for i = 1, 20 do obj:playSFXOnce(big, 0, 1, 1) end", 16,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.sounds.luaHalf.size(); },
         "*** playSFXOnce: no room for more than 1048576 bytes of queued sound names, refused"},
        {false, "local big = '--' .. string.rep('x', 1048574) for i = 1, 20 do obj:queueLuaCommand(big, false) end", 16,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.luaCommands.size(); },
         "*** queueLuaCommand: no room for more than 16777216 bytes of queued commands, refused"},
        // The object's spawn and despawn events wait in the queue too: they take a part of the 16th MiB.
        {true, "local big = '--' .. string.rep('x', 1048574) for i = 1, 20 do BeamEngine:queueLuaCommand(big) end", 15,
         [](BeamEngineImpl& e, BeamObjectImpl&) {
             size_t bytes = 0;
             for (const std::string& command : e.queuedCommands())
                 bytes += command.size();
             return bytes >> 20;
         },
         "*** queueLuaCommand: no room for more than 16777216 bytes of queued commands, refused"},
        {false, "assert(obj:setProp(-1, string.rep('m', 4097)) == nil) assert(obj:setFlexmesh(-1, string.rep('m', 4097)) == nil)",
         0, [](BeamEngineImpl&, BeamObjectImpl& o) { return size_t(o.prop_count + o.flexmesh_count); },
         "*** setProp: a mesh name of 4097 bytes is longer than 4096, refused"},
        {false, "local s = gameEngine:playSFXOnce('hum') for i = 1, 260 do obj:attachSFXNode(s, i % 3) end", 256,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.frameQueues.attachedSounds.size(); },
         "*** attachSFXNode: no room for more than 256 attached sounds, refused"},
        {false, "for i = 1, 8200 do obj:addParticleByNodes(0, 1, 1, 0, 1, 1) end", 8192,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.hostParticles.size(); },
         "*** addParticleByNodes: no room for more than 8192 particles, refused"},
        {false, "local d = obj.debugDrawProxy d:showDebug(true) "
                "for i = 1, 140000 do d:drawLine(float3(0, 0, 0), float3(1, 1, 1), color(1, 1, 1, 1)) end",
         262144, [](BeamEngineImpl&, BeamObjectImpl& o) { return o.ownDebugDrawer()->linePoints.size(); },
         "*** debugdrawer.drawLine: no room for more than 262144 line points, refused"},
        {false, "local d = obj.debugDrawProxy d:showDebug(true) for i = 1, 20 do d:drawNodeNumbers(color(1, 1, 1, 1), 0) end "
                "for i = 1, 16384 do d:drawText(float3(0, 0, 0), color(1, 1, 1, 1), 'x') end",
         16384, [](BeamEngineImpl&, BeamObjectImpl& o) { return o.ownDebugDrawer()->texts.size(); },
         "*** debugdrawer.drawText: no room for more than 16384 texts, refused"},
        {false, "obj:setFlexmesh(0, 'skin') for i = 1, 10010 do obj:breakMeshes(0) end", 10000,
         [](BeamEngineImpl&, BeamObjectImpl& o) { return o.flexmeshes[0]->queuedBrokenBeams(); },
         "*** breakMeshes: no room for more than 10000 queued broken beams, refused"},
        {false, "held = {} for i = 1, 40 do held[#held + 1] = BeamObject() end", 32,
         [](BeamEngineImpl&, BeamObjectImpl&) { return size_t(BeamObjectImpl::liveCount()); },
         "*** BeamObject: no room for more than 32 objects, refused"},
        // While drawing is off nothing is collected: nothing would empty the lists.
        {false, "local d = obj.debugDrawProxy d:showDebug(false) "
                "for i = 1, 1000 do d:drawLine(float3(0, 0, 0), float3(1, 1, 1), color(1, 1, 1, 1)) d:drawBeams(0) end",
         0, [](BeamEngineImpl&, BeamObjectImpl& o) { return o.ownDebugDrawer()->linePoints.size(); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fill);
        engine->deleteAllObjects();
        BeamObjectImpl* object = addObject();
        ASSERT_NE(object, nullptr);
        clearLog();
        resetLogStateForTests();
        EXPECT_EQ(runProtected(c.inSystem ? *engine->systemLua() : object->lua(), c.fill), "");
        EXPECT_EQ(c.size(*engine, *object), c.capacity);
        if (c.refusal) {
            EXPECT_EQ(linesStartingWith(c.refusal).size(), 1u);  // repeats of one line are folded
        } else {
            EXPECT_TRUE(linesStartingWith("*** ").empty());
        }
        for (int frame = 0; frame < 3; ++frame)
            engine->update(0.002f);
        engine->waitForPhysicsFrame();
        EXPECT_TRUE(std::isfinite(object->nodes[0].worldPos.x));
    }
}

// A call that draws many entries is checked against all it may add, so no list passes its
// capacity; a full list refuses only the calls that add to it, naming the call and the list.
TEST_F(ObjectChurn, DebugDrawingStopsExactlyAtEachListsCapacity)
{
    fs.addFile("obj/init.lua", kGrowingObject);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    debugdrawer& d = *object->ownDebugDrawer();
    clearLog();
    resetLogStateForTests();
    // 131071 lines leave room for one beam (two points) and no more.
    ASSERT_EQ(runProtected(object->lua(), "local d = obj.debugDrawProxy d:showDebug(true) "
                                          "for i = 1, 131071 do d:drawLine(float3(0, 0, 0), float3(1, 1, 1), color(1, 1, 1, 1)) end "
                                          "d:drawBeams(0)"),
              "");
    EXPECT_EQ(d.linePoints.size(), size_t(kMaxDebugLinePoints));
    EXPECT_TRUE(linesStartingWith("*** ").empty());
    ASSERT_EQ(runProtected(object->lua(), "local d = obj.debugDrawProxy d:drawBeams(0) d:drawColTris(0, color(1, 1, 1, 1), "
                                          "color(1, 1, 1, 1)) d:drawText(float3(0, 0, 0), color(1, 1, 1, 1), 'still') "
                                          "d:drawSphere(1, float3(0, 0, 0), color(1, 1, 1, 1)) d:drawNodeNumbers(color(1, 1, 1, 1), 0)"),
              "");
    EXPECT_EQ(d.linePoints.size(), size_t(kMaxDebugLinePoints));
    EXPECT_EQ(linesStartingWith("*** debugdrawer.drawBeams: no room for more than 262144 line points, refused").size(), 1u);
    EXPECT_EQ(d.texts.size(), 4u);  // "still" and the three node numbers
    EXPECT_EQ(d.spheres.size(), 1u);
    EXPECT_EQ(linesStartingWith("*** ").size(), 1u);  // drawColTris adds nothing: the object has no triangles
}

// Results of queued commands live outside Lua's memory cap until the next batch: past 16 MiB a
// result is kept empty, so the indices of the later ones still hold.
TEST_F(ObjectChurn, CommandResultsAreBoundedByTheByte)
{
    fs.addFile("obj/init.lua", kGrowingObject);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    for (int i = 0; i < 20; ++i)
        object->queueLuaCommand("return string.rep('r', 1048560)", true);
    object->queueLuaCommand("return 'last'", true);
    clearLog();
    resetLogStateForTests();
    engine->update(0.002f);
    engine->waitForPhysicsFrame();
    size_t full = 0;
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(object->getLuaResult(i), nullptr) << i;
        full += std::strlen(object->getLuaResult(i)) == 1048560 ? 1 : 0;
    }
    EXPECT_EQ(full, 16u);
    ASSERT_NE(object->getLuaResult(20), nullptr);
    EXPECT_STREQ(object->getLuaResult(20), "last");
    EXPECT_EQ(linesStartingWith("*** queueLuaCommand: no room for more than 16777216 bytes of command results, refused")
                  .size(),
              1u);
}

} // namespace
