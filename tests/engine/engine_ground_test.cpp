// The engine's ground through its host operations: one terrain for the engine's life, reloaded,
// cleared and moved in place under the engine lock; static triangles committed by the host and
// rebuilt by the frame step; ground models emptied by init; and an object that lands.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "ground/bground_models.h"
#include "base/blog.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "tests/support/contact_fixture.h"
#include "tests/support/engine_fixture.h"
#include "velkor/host.h"

using namespace VadiZov;
using VadiZov::testing::gridSamples;

namespace {

class EngineGround : public VadiZov::testing::EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        groundModelTable().setGroundModel(groundModel{}, "LEFTOVER");  // init must empty the table
        startEngine();
    }
    // A width x height terrain of 1 m squares.
    TerrainConfig config(int width, int height, const std::vector<uint16_t>& samples, float heightScale)
    {
        heights = samples;
        TerrainConfig c = VadiZov::testing::unitGridConfig(width, height, heights, heightScale);
        c.completion = 1;
        return c;
    }
    // Runs frames of 20 ms until the object has been stepped for the given time.
    void run(float seconds)
    {
        for (float t = 0.0f; t < seconds; t += 0.02f) {
            engine->update(0.02f);
            engine->waitForPhysicsFrame();
        }
    }

    std::vector<uint16_t> heights;
};

TEST_F(EngineGround, InitEmptiesTheGroundModelTable)
{
    EXPECT_EQ(groundModelTable().count(), 0);
    EXPECT_EQ(groundModelTable().findGroundModel("LEFTOVER"), -1);
    EXPECT_EQ(groundModelTable().model(0).staticFrictionCoefficient, 0.0f);
}

TEST_F(EngineGround, OneTerrainForTheEnginesLifeReloadedAndClearedInPlace)
{
    TerrainBlock* block = engine->terrain();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(g_terrain, block);  // what every Lua state publishes as terrainBlock

    TerrainConfig c = config(4, 4, gridSamples(4, 4, [](int, int) { return 200; }), 0.01f);
    engine->setTerrain(&c);
    EXPECT_EQ(c.completion, 0);
    EXPECT_EQ(engine->terrain(), block);
    EXPECT_FLOAT_EQ(block->getHeight(float3(1.5f, 1.5f, 0.0f)), 2.0f);

    EXPECT_EQ(engine->setTerrainPosition(10.0f, 20.0f, 1.0f), 0);
    EXPECT_FLOAT_EQ(block->getHeight(float3(11.5f, 21.5f, 0.0f)), 3.0f);
    EXPECT_EQ(block->getHeight(float3(1.5f, 1.5f, 0.0f)), 0.0f);  // now outside

    // A record that fails its checks leaves the same block, empty.
    TerrainConfig bad = config(4, 4, gridSamples(4, 4, [](int, int) { return 200; }), 0.01f);
    bad.heightMapSize = 10;
    engine->setTerrain(&bad);
    EXPECT_EQ(bad.completion, 0);
    EXPECT_EQ(engine->terrain(), block);
    EXPECT_FALSE(block->hasSamples());

    engine->setTerrain(&c);
    EXPECT_TRUE(block->hasSamples());
    engine->clearTerrain();
    EXPECT_EQ(engine->terrain(), block);
    EXPECT_FALSE(block->hasSamples());
    EXPECT_EQ(block->origin().x, 0.0f);

    engine->teardown();
    EXPECT_EQ(g_terrain, nullptr);
    EXPECT_EQ(engine->terrain(), nullptr);
    engine.reset();  // the destructor after teardown finds nothing left to free
    engine = std::make_unique<BeamEngineImpl>();
    engine->init();
    EXPECT_EQ(g_terrain, engine->terrain());
}

TEST_F(EngineGround, AnEngineMadeLaterDoesNotTakeOverTheTerrainGlobal)
{
    TerrainBlock* block = engine->terrain();
    {
        BeamEngineImpl scripted;  // as a script may make one: constructed, never initialised
        EXPECT_EQ(g_terrain, block);
        EXPECT_NE(scripted.terrain(), block);
    }
    EXPECT_EQ(g_terrain, block);
}

TEST_F(EngineGround, TerrainChangesWaitForTheRunningPhysicsFrame)
{
    // The worker holds the engine lock for its frame: hold it here the same way.
    engine->engineLock()->enter();
    bool cleared = false;
    std::thread host([&] {
        engine->clearTerrain();
        engine->setTerrainPosition(1.0f, 2.0f, 3.0f);
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(cleared);
    engine->engineLock()->leave();
    host.join();
    EXPECT_TRUE(cleared);
    EXPECT_EQ(engine->terrain()->origin().z, 3.0f);
}

TEST_F(EngineGround, GroundModelWritesWaitForTheRunningPhysicsFrame)
{
    engine->engineLock()->enter();
    bool written = false;
    std::thread script([&] {
        engine->setGroundModel(groundModel{}, "GRAVEL");
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(written);
    EXPECT_EQ(groundModelTable().count(), 0);
    engine->engineLock()->leave();
    script.join();
    EXPECT_EQ(groundModelTable().findGroundModel("GRAVEL"), 0);
    engine->resetGroundModels();
    EXPECT_EQ(groundModelTable().count(), 0);
}

TEST_F(EngineGround, StaticTrianglesAreRebuiltByTheNextPhysicsStep)
{
    StaticCollider* collider = engine->staticCollider();
    ASSERT_NE(collider, nullptr);
    // A deck at z = 0.5 (an empty terrain answers height 0 everywhere, so it must lie above).
    engine->addStaticCollisionTriangle(float3(-50, -50, 0.5f), float3(-50, 150, 0.5f), float3(150, -50, 0.5f));
    engine->commitStaticCollision(true);
    EXPECT_EQ(collider->triangleCount(), 0u);  // committed, not yet rebuilt
    EXPECT_EQ(collider->debugTriangles().size(), 1u);

    // A node dropped on the triangle lands on it and stays.
    auto object = std::make_unique<BeamObjectImpl>();
    object->setNode(-1, float3(2.0f, 3.0f, 0.8f), 5.0f, 0, 1.0f, -1, false, true);
    object->loaded = true;
    engine->placeObjectForTests(object.get());
    groundModelTable().setGroundModel(groundModel{}, "CONCRETE");
    engine->update(0.02f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(collider->triangleCount(), 1u);
    run(1.5f);
    const NodeCore& n = object->nodes[0];
    EXPECT_GT(n.worldPos.z, 0.49f);
    EXPECT_LE(n.worldPos.z, 0.5f);
    EXPECT_NEAR(n.vel.z, 0.0f, 1e-5f);
    engine->placeObjectForTests(nullptr);
}

TEST_F(EngineGround, AnObjectLandsOnTheTerrainAndComesToRest)
{
    groundModelTable().setGroundModel(groundModel{}, "GRASS");
    // A gentle slope: 5 cm per metre along x, origin moved below the world's zero.
    TerrainConfig c = config(32, 32, gridSamples(32, 32, [](int ix, int) { return 1000 + ix * 50; }), 0.001f);
    engine->setTerrain(&c);
    engine->setTerrainPosition(-16.0f, -16.0f, -1.0f);
    auto object = std::make_unique<BeamObjectImpl>();
    object->setNode(-1, float3(0.0f, 0.0f, 1.0f), 10.0f, 0, 1.0f, -1, false, true);
    object->setNode(-1, float3(1.0f, 0.0f, 1.0f), 10.0f, 0, 1.0f, -1, false, true);
    object->setNode(-1, float3(0.5f, 1.0f, 1.0f), 10.0f, 0, 1.0f, -1, false, true);
    object->setBeam(-1, 0, 1, 1e9f, 200000.0f, 500.0f, 1e9f, 1.0f);
    object->setBeam(-1, 1, 2, 1e9f, 200000.0f, 500.0f, 1e9f, 1.0f);
    object->setBeam(-1, 2, 0, 1e9f, 200000.0f, 500.0f, 1e9f, 1.0f);
    object->loaded = true;
    engine->placeObjectForTests(object.get());
    run(3.0f);
    for (int i = 0; i < 3; ++i) {
        const NodeCore& n = object->nodes[i];
        const float ground = engine->terrain()->getHeight(n.worldPos);
        EXPECT_NEAR(n.worldPos.z, ground, 5e-3f) << "node " << i;
        EXPECT_NEAR(n.vel.length(), 0.0f, 1e-3f) << "node " << i;
    }
    engine->placeObjectForTests(nullptr);
}

} // namespace
