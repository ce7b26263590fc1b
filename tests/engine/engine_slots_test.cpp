// The engine's object slots from the host and from Lua, with the engine events they queue for
// the system Lua state.
#include <gtest/gtest.h>

#include "lua/blua.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

using EngineSlots = EngineTest;

std::string runSystem(BeamEngineImpl& engine, const std::string& code)
{
    std::string result;
    EXPECT_EQ(engine.systemLua()->executeChunk(code.data(), code.size(), "test", &result), 0) << code;
    return result;
}

TEST_F(EngineSlots, GetSlotMakesOneObjectAndRefusesASecond)
{
    EXPECT_EQ(runSystem(*engine, "return tostring(BeamEngine:getSlot(1)) .. tostring(BeamEngine:getSlot(-2)) .. "
                                 "tostring(BeamEngine:getSlot(0))"),
              "nilnilnil");
    clearLog();
    EXPECT_EQ(runSystem(*engine, "made = BeamEngine:getSlot(-1) return BeamEngine:getSlotCount()"), "1");
    EXPECT_EQ(indexOf("creating new object in slot 0 ..."), 0);
    EXPECT_EQ(runSystem(*engine, "return tostring(BeamEngine:getSlot(0) ~= nil and made ~= nil)"), "true");
    EXPECT_NE(engine->getSlot(0), nullptr);

    // The one slot is taken: no new object, a level-3 message, nothing else changes.
    clearLog();
    BeamObjectImpl* before = engine->getSlot(0);
    EXPECT_EQ(runSystem(*engine, "return tostring(BeamEngine:getSlot(-1))"), "nil");
    EXPECT_EQ(engine->getSlotCount(), 1);
    EXPECT_EQ(engine->getSlot(0), before);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].level, LOG_ERROR);

    runSystem(*engine, "BeamEngine:spawnObject('obj', float3(0, 0, 0))");
    EXPECT_EQ(engine->getSlot(0), before);
    EXPECT_EQ(engine->addObject("obj", 0, 0, 0, 0, 0, 0, 1, &hostObject), nullptr);
    EXPECT_EQ(engine->getSlotCount(), 1);
    engine->update(0.01f);
    EXPECT_EQ(indexOf("event:spawn"), -1);  // the refused addObject queued no event
}

TEST_F(EngineSlots, AddObjectQueuesSpawnAndBindsTheHostObject)
{
    EXPECT_EQ(engine->addObject(nullptr, 0, 0, 0, 0, 0, 0, 1, &hostObject), nullptr);
    engine->update(0.01f);
    EXPECT_EQ(indexOf("event:spawn"), -1);

    hostObject.position = float3(3, 4, 5);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->hostObject, &hostObject);
    EXPECT_EQ(object->id, 0);
    EXPECT_EQ(object->spawnOrigin.x, 0.0f);  // the position given to addObject wins
    EXPECT_TRUE(object->loaded);
    engine->update(0.01f);
    EXPECT_NE(indexOf("event:spawn"), -1);
    EXPECT_FLOAT_EQ(object->originOffset.x, 3.0f);  // taken from the host object by the frame step
}

TEST_F(EngineSlots, SpawnObjectFromLuaLoadsWithoutHostObjectOrEvent)
{
    runSystem(*engine, "BeamEngine:spawnObject('obj', float3(1, 2, 3))");
    ASSERT_EQ(engine->getSlotCount(), 1);
    BeamObjectImpl* object = engine->getSlot(0);
    EXPECT_EQ(object->hostObject, nullptr);
    EXPECT_EQ(object->node_count, 2);
    EXPECT_NE(indexOf("cb:init obj"), -1);
    engine->update(0.01f);
    EXPECT_EQ(indexOf("event:spawn"), -1);
}

TEST_F(EngineSlots, RemoveObjectAndDeleteAllQueueDespawn)
{
    BeamObjectImpl* object = addObject();
    HostObjectDouble other;
    engine->removeObject(nullptr);  // in no slot: only the event
    EXPECT_EQ(engine->getSlotCount(), 1);
    engine->update(0.01f);
    EXPECT_NE(indexOf("event:despawn"), -1);

    clearLog();
    engine->removeObject(object);
    EXPECT_EQ(engine->getSlotCount(), 0);
    EXPECT_EQ(engine->getSlot(0), nullptr);
    EXPECT_NE(indexOf("cb:vehicleDestroy"), -1);

    addObject();
    clearLog();
    runSystem(*engine, "BeamEngine:deleteAllObjects()");
    EXPECT_EQ(engine->getSlotCount(), 0);
    EXPECT_NE(indexOf("deleting all objects ..."), -1);
    engine->update(0.01f);
    EXPECT_NE(indexOf("event:despawn"), -1);
}

TEST_F(EngineSlots, ResetReachesTheBoundObjectInItsNextUpdate)
{
    BeamObjectImpl* object = addObject();
    engine->update(0.01f);
    HostObjectDouble stranger;
    clearLog();
    engine->reset(&stranger);
    engine->update(0.01f);
    EXPECT_EQ(indexOf("cb:vehicleResetted false"), -1);
    EXPECT_NE(indexOf("event:reset"), -1);
    engine->reset(&hostObject);
    EXPECT_EQ(object->pendingResetRequests(), RESET_PHYSICS);
    engine->update(0.01f);
    EXPECT_NE(indexOf("cb:vehicleResetted false"), -1);
    clearLog();
    engine->reset(nullptr);
    engine->update(0.01f);
    EXPECT_NE(indexOf("cb:vehicleResetted false"), -1);
}

TEST_F(EngineSlots, SetSlotStoresEngineObjectsAndRefusesScriptObjects)
{
    BeamObjectImpl* object = addObject();
    clearLog();
    // A BeamObject() of a script belongs to the Lua collector: storing it would dangle.
    runSystem(*engine, "BeamEngine:setSlot(0, BeamObject())");
    EXPECT_EQ(engine->getSlot(0), object);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].level, LOG_ERROR);
    runSystem(*engine, "collectgarbage() collectgarbage()");

    // Outside the array nothing happens.
    runSystem(*engine, "BeamEngine:setSlot(1, BeamEngine:getSlot(0)) BeamEngine:setSlot(-1, BeamEngine:getSlot(0))");
    EXPECT_EQ(engine->getSlotCount(), 1);

    clearLog();
    runSystem(*engine, "BeamEngine:setSlot(0, BeamEngine:getSlot(0))");
    EXPECT_EQ(indexOf("cb:vehicleResetted false"), 0);  // stored and reset
    EXPECT_EQ(engine->getSlot(0), object);
}

} // namespace
