// The frame step through the engine, its worker and a core thread: substep accounting, the
// floating frame, the host sync, air density, statistics, and the guarded faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/host_object_double.h"
#include "tests/support/lattice_object.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_script.h"

using namespace VadiZov;

namespace {

// Water below x = 0, air elsewhere.
class EnvironmentGameEngine final : public VadiZov::testing::NullGameEngine {
public:
    void queryNodeEnvironment(float3 p, HostObject*, float* density, int* scratch, float* waterZ) override
    {
        *density = p.x < 0.0f ? 1000.0f : 1.2f;
        *scratch = 7;
        *waterZ = 5.0f;
        ++queries;
    }
    int queries = 0;
};

struct FrameStep : VadiZov::testing::EngineFixture {
    void SetUp() override
    {
        EngineFixture::SetUp();
        startEngine();
    }
    void place(BeamObjectImpl* object)
    {
        object->loaded = true;
        engine->placeObjectForTests(object);
    }
    // Waits for the frame in flight, leaving its done signal for the engine's own wait.
    void finishFrame()
    {
        platform::Event* done = engine->workerManager()->events.done[0];
        ASSERT_EQ(done->wait(20000), platform::WaitResult::Signaled) << "the worker was not released";
        done->set();
    }
    std::unique_ptr<BeamObjectImpl> smallObject()
    {
        auto object = std::make_unique<BeamObjectImpl>();
        object->setNode(-1, float3(0.0f, 0.0f, 1.0f), 10.0f, 0, 1.0f, -1, false, true);
        object->setNode(-1, float3(1.0f, 0.0f, 1.5f), 10.0f, 0, 1.0f, -1, false, true);
        object->setBeam(-1, 0, 1, 1e9f, 100000.0f, 50.0f, 1e9f, 1.0f);
        return object;
    }
};

TEST_F(FrameStep, RealTimeBecomesWholeSubstepsCappedAtMaxStep)
{
    struct Case {
        const char* what;
        std::vector<float> frames;
        std::vector<int> substeps;
    };
    const Case cases[] = {
        {"25 substeps", {0.0125f}, {25}},
        {"200 counted, 80 run, the rest dropped", {0.1f, 0.0f}, {80, 0}},
        {"small frames accumulate", {0.0002f, 0.0002f, 0.0002f}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        auto object = smallObject();
        place(object.get());
        int total = 0;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            const int bufferBefore = engine->graphicsBuffer();
            engine->update(c.frames[i]);
            finishFrame();
            const core_parameters_t& p = engine->coreParameters();
            EXPECT_EQ(p.substeps, c.substeps[i]);
            EXPECT_FLOAT_EQ(p.frameTime, float(c.substeps[i]) * 0.0005f);
            EXPECT_EQ(p.dt, c.substeps[i] ? 0.0005f : 0.0f);
            EXPECT_EQ(p.invDt, c.substeps[i] ? 2000.0f : 0.0f);
            EXPECT_EQ(p.contactRampFront, 25.0f);
            EXPECT_EQ(p.contactRampBack, 99.99999f);
            EXPECT_LT(p.contactRampBack, 100.0f);
            // The render buffer flips only when substeps ran; the host then reads it.
            EXPECT_EQ(engine->graphicsBuffer(), c.substeps[i] ? bufferBefore ^ 1 : bufferBefore);
            total += c.substeps[i];
            EXPECT_EQ(object->substepCount, total);
        }
        EXPECT_LT(engine->stepAccumulator(), 0.0005f);
        engine->placeObjectForTests(nullptr);
    }
}

TEST_F(FrameStep, ReferenceNodeEndsEachFrameAtTheOriginAndTheFrameFollowsIt)
{
    VadiZov::testing::LatticeShape shape;
    shape.nx = 4;
    shape.ny = 3;
    shape.nz = 2;
    auto object = VadiZov::testing::makeLattice(shape);  // no HostObject: it must follow all the same
    place(object.get());
    const float frames[] = {0.016f, 0.033f, 0.0007f, 0.02f, 0.05f, 0.011f};
    float3 lastRefWorld = object->originOffset;
    bool first = true;
    for (float dt : frames) {
        engine->update(dt);
        finishFrame();
        if (!first) {
            EXPECT_EQ(object->originOffset.z, lastRefWorld.z);  // moved before the frame ran
        }
        first = false;
        const NodeCore& ref = object->nodes[object->refNode];
        EXPECT_EQ(ref.pos.x, 0.0f);
        EXPECT_EQ(ref.pos.y, 0.0f);
        EXPECT_EQ(ref.pos.z, 0.0f);
        lastRefWorld = ref.worldPos;
        for (int i = 0; i < object->node_count; ++i) {
            const NodeCore& n = object->nodes[i];
            ASSERT_NEAR(n.worldPos.z, n.pos.z + ref.worldPos.z, 1e-4f) << "node " << i;
        }
    }
    EXPECT_LT(lastRefWorld.z, 2.0f);  // it fell
    engine->placeObjectForTests(nullptr);
}

TEST_F(FrameStep, HostPlacementAndBoundingBox)
{
    VadiZov::testing::HostObjectDouble host;
    host.position = float3(100.0f, 200.0f, 300.0f);
    auto object = smallObject();
    object->hostObject = &host;
    object->refNode = 1;
    object->transformPending = true;
    object->refRelativePlacement = true;
    place(object.get());
    engine->update(0.001f);
    finishFrame();
    // The host position, less the reference node's place in the floating frame (1, 0, 1.5).
    EXPECT_EQ(object->originOffset.x, 99.0f);
    EXPECT_EQ(object->originOffset.z, 298.5f);
    EXPECT_EQ(object->spawnOrigin.y, 200.0f);
    EXPECT_FALSE(object->transformPending);
    EXPECT_FALSE(object->refRelativePlacement);
    ASSERT_EQ(host.positions.size(), 1u);
    EXPECT_EQ(host.positions[0].x, 99.0f);
    ASSERT_EQ(host.boxes.size(), 1u);

    engine->update(0.001f);
    finishFrame();
    ASSERT_EQ(host.positions.size(), 2u);
    ASSERT_EQ(host.boxes.size(), 2u);
    // The box of the first frame's last substep: node 0 sits at (-1, 0, -0.5) from the reference.
    EXPECT_NEAR(host.boxes[1].first.x, -1.0f, 1e-3f);
    EXPECT_NEAR(host.boxes[1].first.z, -0.5f, 1e-3f);
    EXPECT_EQ(host.boxes[1].second.x, 0.0f);
    engine->placeObjectForTests(nullptr);
}

TEST_F(FrameStep, AirDensityFollowsAltitudeAndLeavesWaterAlone)
{
    EnvironmentGameEngine environment;
    g_gameEngine = &environment;
    VadiZov::testing::HostObjectDouble host;
    host.position = float3(100.0f, 200.0f, 300.0f);
    auto object = std::make_unique<BeamObjectImpl>();
    object->originOffset = float3(0.0f, 0.0f, 1000.0f);
    object->setNode(-1, float3(0.0f, 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, false);
    object->setNode(-1, float3(-5.0f, 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, false);
    object->hostObject = &host;
    place(object.get());
    engine->update(0.0001f);  // no substep: only the frame-start work
    finishFrame();
    const float factor = fastExp(-0.00011855832f * 1000.0f) * 288.15f / (288.15f - 0.0065f * 1000.0f);
    EXPECT_NEAR(factor, 0.9087f, 0.06f * 0.9087f);  // e^x by its bit-pattern estimate
    EXPECT_EQ(object->nodeProperties[0].mediumDensity, 1.2f * factor);
    EXPECT_EQ(object->nodeProperties[1].mediumDensity, 1000.0f);
    EXPECT_EQ(object->nodeProperties[1].waterSurfaceZ, 5.0f);
    EXPECT_EQ(environment.queries, 2);
    engine->placeObjectForTests(nullptr);
}

TEST_F(FrameStep, StatisticsCountTheStepsOfTheLastSecond)
{
    auto object = smallObject();
    place(object.get());
    for (int frame = 1; frame <= 34; ++frame) {
        engine->update(0.03f);  // 60 substeps each
        EXPECT_EQ(engine->stepsLastSecond(), frame < 34 ? 0 : 34 * 60) << "frame " << frame;
    }
    EXPECT_EQ(engine->stepCounter(), 0);
    EXPECT_EQ(engine->lastSubstepTime(), 0.0005f);
    engine->waitForPhysicsFrame();
    engine->placeObjectForTests(nullptr);
}

TEST_F(FrameStep, ZeroTimeScaleAndBadFrameTimesCountNothingAndKeepTheRemainder)
{
    auto object = smallObject();
    place(object.get());
    engine->update(0.0007f);
    const float remainder = engine->stepAccumulator();
    EXPECT_NEAR(remainder, 0.0002f, 1e-7f);
    engine->setSimulationTimeScale(0.0f);
    EXPECT_EQ(Settings::fps, 0.0f);
    for (float dt : {0.016f, -0.5f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        engine->update(dt);
        EXPECT_EQ(engine->coreParameters().substeps, 0);
        EXPECT_EQ(engine->stepAccumulator(), remainder);
    }
    engine->setSimulationTimeScale(1.0f);
    for (float dt : {-0.5f, std::numeric_limits<float>::quiet_NaN()}) {
        engine->update(dt);
        EXPECT_EQ(engine->stepAccumulator(), remainder);
    }
    engine->update(0.0004f);
    EXPECT_EQ(engine->coreParameters().substeps, 1);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(object->substepCount, 2);
    EXPECT_TRUE(std::isfinite(object->nodes[0].pos.z));
    engine->placeObjectForTests(nullptr);
}

TEST_F(FrameStep, TeardownWaitsForTheFrameInFlight)
{
    for (int round = 0; round < 20; ++round) {
        TearDown();
        SetUp();
        // The teardown deletes the objects in the slots: the engine owns this one, and the script
        // outlives it to tell how many substeps ran.
        VadiZov::testing::RecordingScript script;
        BeamObjectImpl* object = VadiZov::testing::makeLattice().release();
        object->setScript(&script);
        place(object);
        engine->update(0.04f);
        engine->teardown();  // straight away, while the worker runs the 80 substeps
        engine.reset();
        EXPECT_EQ(script.count("physicsStep"), 80);
    }
    for (int round = 0; round < 50; ++round) {  // init, then destruction at once
        BeamEngineImpl e;
        e.init();
        e.teardown();
    }
}

TEST_F(FrameStep, ScriptOnACoreThreadCannotTakeTheEngineLock)
{
    VadiZov::testing::RecordingScript script;
    script.onPhysicsStep = [&] {
        engine->setEnabled(false);
        engine->update(0.1f);
    };
    auto object = smallObject();
    object->setScript(&script);
    place(object.get());
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(script.count("physicsStep"), 2);
    EXPECT_TRUE(script.calls.back().onPhysicsThread);
    EXPECT_TRUE(engine->getEnabled());
    const auto texts = sink.texts();
    auto logged = [&](const std::string& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
    EXPECT_TRUE(logged("*** setEnabled: refused on a physics thread"));
    EXPECT_TRUE(logged("*** update: refused on a physics thread"));
    engine->placeObjectForTests(nullptr);
    object->setScript(nullptr);
}

TEST_F(FrameStep, SameInputsGiveBitIdenticalResults)
{
    auto run = [&](std::vector<NodeCore>& out) {
        TearDown();
        SetUp();
        auto object = VadiZov::testing::makeLattice();
        place(object.get());
        unsigned seed = 12345;
        for (int frame = 0; frame < 40; ++frame) {
            seed = seed * 1103515245u + 12345u;
            engine->update(0.001f + float((seed >> 16) % 300) * 0.0001f);
        }
        engine->waitForPhysicsFrame();
        out.assign(object->nodes, object->nodes + object->node_count);
        engine->placeObjectForTests(nullptr);
    };
    std::vector<NodeCore> a, b;
    run(a);
    run(b);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(NodeCore)), 0);
}

} // namespace
