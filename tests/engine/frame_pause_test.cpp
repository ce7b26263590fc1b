// The frame step around a paused engine: what the hosts are shown on a pause, an engine turned
// off in the middle of the object loop, and the Lua step of an engine without objects.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/host_object_double.h"
#include "tests/support/recording_host.h"

using namespace VadiZov;

namespace {

struct FramePause : VadiZov::testing::EngineFixture {
    void SetUp() override
    {
        EngineFixture::SetUp();
        startEngine();
    }
    // An engine-owned object of two falling nodes in the free slot, shown by `host`.
    BeamObjectImpl* addFallingPair(VadiZov::testing::HostObjectDouble* host, float x)
    {
        BeamObjectImpl* object = engine->getSlot(-1);
        EXPECT_NE(object, nullptr);
        object->setNode(-1, float3(x, 0.0f, 5.0f), 10.0f, 0, 1.0f, -1, false, true);
        object->setNode(-1, float3(x + 1.0f, 0.0f, 5.5f), 10.0f, 0, 1.0f, -1, false, true);
        object->setBeam(-1, 0, 1, 1e9f, 100000.0f, 50.0f, 1e9f, 1.0f);
        object->hostObject = host;
        object->loaded = true;
        engine->markObjectsChanged();
        return object;
    }

    VadiZov::testing::HostObjectDouble hostA;
};

TEST_F(FramePause, PauseShowsTheHostWhereTheReferenceNodeIs)
{
    BeamObjectImpl* object = addFallingPair(&hostA, 3.0f);
    object->refNode = 1;
    for (int frame = 0; frame < 3; ++frame)
        engine->update(0.01f);
    engine->waitForPhysicsFrame();
    // The frame's substeps moved the nodes after the host was last placed.
    const float3 ref = object->nodes[1].worldPos;
    ASSERT_NE(hostA.positions.back().z, ref.z);
    const size_t shown = hostA.positions.size();

    EXPECT_FALSE(engine->setEnabled(false));
    ASSERT_EQ(hostA.positions.size(), shown + 1);
    EXPECT_EQ(hostA.positions.back().x, ref.x);
    EXPECT_EQ(hostA.positions.back().y, ref.y);
    EXPECT_EQ(hostA.positions.back().z, ref.z);
    // Only the pause itself places it: pausing again or resuming places nothing.
    engine->setEnabled(false);
    engine->setEnabled(true);
    EXPECT_EQ(hostA.positions.size(), shown + 1);
}

TEST_F(FramePause, DisablingInTheObjectLoopEndsItAndHoldsTheWorker)
{
    BeamObjectImpl* object = addFallingPair(&hostA, 0.0f);
    engine->update(0.01f);
    engine->waitForPhysicsFrame();
    ASSERT_EQ(object->substepCount, 20);
    ASSERT_EQ(hostA.boxes.size(), 1u);
    const int buffer = engine->graphicsBuffer();
    object->queueLuaCommand("return 1", false);

    // The object's placement turns the engine off; its update then finds it off.
    hostA.onSetPosition = [&] { engine->setEnabled(false); };
    engine->update(0.01f);
    EXPECT_FALSE(engine->getEnabled());
    EXPECT_TRUE(object->luaCommands.empty());  // its own update ran
    EXPECT_EQ(hostA.boxes.size(), 1u);  // and ended the loop before the bounding box
    EXPECT_TRUE(engine->coreParameters().noWait);
    // The worker was not released: nothing ran and the buffers did not flip.
    EXPECT_EQ(engine->workerManager()->events.done[0]->wait(200), platform::WaitResult::Timeout);
    EXPECT_EQ(object->substepCount, 20);
    EXPECT_EQ(engine->graphicsBuffer(), buffer);
    EXPECT_EQ(engine->stepCounter(), 20);

    // Resumed, the next frame does not wait for the frame that never ran.
    engine->setEnabled(true);
    engine->update(0.01f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(object->substepCount, 40);
    EXPECT_EQ(hostA.boxes.size(), 2u);
    EXPECT_EQ(engine->graphicsBuffer(), buffer ^ 1);
}

TEST_F(FramePause, WithoutObjectsTheLuaStepRunsAndTheFrameDelayIsMeasured)
{
    ASSERT_NE(engine->systemLua(), nullptr);
    ASSERT_NE(engine->systemLua()->state(), nullptr);
    ASSERT_EQ(engine->getSlotCount(), 0);
    // The command takes 50 ms; the frame delay is timed after the Lua step and so leaves it out.
    engine->queueLuaCommand("ranWithoutObjects = true "
                            "local t = os.clock() while os.clock() - t < 0.05 do end");
    engine->update(0.02f);
    std::string result;
    const std::string check = "return tostring(ranWithoutObjects)";
    ASSERT_EQ(engine->systemLua()->executeChunk(check.data(), check.size(), "test", &result), 0);
    EXPECT_EQ(result, "true");
    EXPECT_TRUE(engine->queuedCommands().empty());
    EXPECT_GT(engine->frameDelayMs(), 0.0f);
    EXPECT_LT(engine->frameDelayMs(), 50.0f);
    EXPECT_EQ(engine->coreParameters().substeps, 0);  // no physics step at all
    EXPECT_EQ(engine->stepAccumulator(), 0.0f);
}

} // namespace
