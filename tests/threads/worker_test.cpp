// The physics worker with real core threads: frames of substeps, object changes between
// frames, the worker manager's limit, and a soak of random frames.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "threads/bcore_thread.h"
#include "base/blog.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "tests/support/lattice_object.h"
#include "tests/support/recording_script.h"

using namespace VadiZov;

namespace {

constexpr int kSlots = 4;

// The frame step's side of the hand-off, without the engine: several object slots.
struct WorkerFixture : ::testing::Test {
    void SetUp() override
    {
        resetLogStateForTests();
        params.objects = slots;
        context.engineLock = &lock;
        context.params = &params;
        workers = std::make_unique<WorkerManager>(context);
        workers->addThreads(1, 0, 0);
    }
    void TearDown() override { workers.reset(); }

    void frame(int substeps)
    {
        if (started)
            workers->waitForAllDone();
        params.substeps = substeps;
        params.dt = substeps ? kSubstepTime : 0.0f;
        params.frameTime = float(substeps) * kSubstepTime;
        params.renderBuffer = int16_t(params.renderBuffer ^ (substeps ? 1 : 0));
        workers->release(0);
        started = true;
    }
    void settle()
    {
        if (started)
            workers->waitForAllDone();
        started = false;
    }
    void setObjects(std::vector<BeamObjectImpl*> objects)
    {
        platform::CriticalSectionGuard guard(lock);
        for (int i = 0; i < kSlots; ++i)
            slots[i] = i < int(objects.size()) ? objects[size_t(i)] : nullptr;
        params.objectCount = int(objects.size());
        params.objectsChanged = true;
    }
    PhysicsWorker* worker() { return workers->threads[0]; }

    platform::CriticalSection lock{1024};
    BeamObjectRecords* slots[kSlots] = {};
    core_parameters_t params;
    ThreadContext<core_parameters_t> context;
    std::unique_ptr<WorkerManager> workers;
    bool started = false;
};

std::unique_ptr<BeamObjectImpl> smallLattice(float x)
{
    VadiZov::testing::LatticeShape shape;
    shape.nx = 3;
    shape.ny = 2;
    shape.nz = 2;
    shape.origin = float3(x, 0.0f, 1.0f);
    return VadiZov::testing::makeLattice(shape);
}

TEST_F(WorkerFixture, AThirdWorkerIsRefused)
{
    workers->addThreads(2, 0, 0);
    EXPECT_EQ(workers->threadCount, 2);
    EXPECT_EQ(workers->threads[2], nullptr);
}

TEST_F(WorkerFixture, FramesStepEveryObjectOnItsOwnCoreThread)
{
    auto a = smallLattice(0.0f), b = smallLattice(5.0f);
    VadiZov::testing::RecordingScript scriptA, scriptB;
    a->setScript(&scriptA);
    b->setScript(&scriptB);
    setObjects({a.get(), b.get()});
    frame(0);  // no substep: the core threads are built but not released
    settle();
    EXPECT_EQ(worker()->cores->threadCount, 2);
    EXPECT_FALSE(params.objectsChanged);
    EXPECT_EQ(a->substepCount, 0);
    EXPECT_TRUE(scriptA.calls.empty());

    frame(5);
    frame(1);
    settle();
    EXPECT_EQ(a->substepCount, 6);
    EXPECT_EQ(b->substepCount, 6);
    EXPECT_TRUE(params.lastSubstep);
    EXPECT_EQ(params.currentSubstep, 0);
    EXPECT_EQ(scriptB.count("graphicsStepLocal"), 2);  // once per frame, on its first substep
    EXPECT_EQ(scriptB.count("physicsStep"), 6);
    for (const auto& call : scriptA.calls)
        EXPECT_TRUE(call.onPhysicsThread);
    EXPECT_EQ(a->nodes[a->refNode].pos.z, 0.0f);

    // A removed object is no longer stepped; the core threads follow on the next frame.
    setObjects({b.get()});
    frame(3);
    settle();
    EXPECT_EQ(worker()->cores->threadCount, 1);
    EXPECT_EQ(a->substepCount, 6);
    EXPECT_EQ(b->substepCount, 9);
    a->setScript(nullptr);
    b->setScript(nullptr);
}

TEST_F(WorkerFixture, WithoutObjectsTheSubstepsRunWithNothingToWaitFor)
{
    setObjects({});
    frame(80);
    settle();
    EXPECT_EQ(worker()->cores->threadCount, 0);
    EXPECT_TRUE(params.lastSubstep);
    EXPECT_EQ(params.currentSubstep, 79);
}

TEST_F(WorkerFixture, AnEmptySlotDoesNotStallTheFrame)
{
    auto a = smallLattice(0.0f);
    setObjects({a.get(), nullptr});
    frame(4);
    settle();
    EXPECT_EQ(a->substepCount, 4);
}

// Heavy, weightless nodes stay put; node 0 at the origin keeps the floating frame unshifted,
// since this fixture has no frame step to move the origin offsets.
int fixedNode(BeamObjectImpl& o, const float3& p)
{
    const int n = o.setNode(-1, p, 1e9f, 0, 1.0f, -1, false, false);
    o.nodes[n].gravityForce = 0.0f;
    return n;
}

TEST_F(WorkerFixture, ANodeOfOneObjectComesToRestOnAnotherObjectsTriangle)
{
    params.contactRampFront = 25.0f;
    params.contactRampBack = 99.99999f;
    auto plate = std::make_unique<BeamObjectImpl>(), dropped = std::make_unique<BeamObjectImpl>();
    fixedNode(*plate, float3(0, 0, 0));
    fixedNode(*plate, float3(1, 0, 0));
    fixedNode(*plate, float3(0, 1, 0));
    plate->setCollisionTriangle(-1, 0, 1, 2, 0.0f, -1.0f, -1, 0, nullptr);
    fixedNode(*dropped, float3(0, 0, 0));
    for (int i = 0; i < 5; ++i)
        dropped->setNode(-1, float3(0.1f + 0.1f * float(i), 0.2f, 0.3f), 1.0f, 0, 1.0f, -1, true, true);
    setObjects({plate.get(), dropped.get()});
    for (int f = 0; f < 30; ++f)  // 0.6 s: the nodes fall 0.3 m in 0.25 s
        frame(40);
    settle();
    // Query buffers hold every slot of the tree: the five colliding nodes.
    ASSERT_NE(worker()->tree, nullptr);
    EXPECT_EQ(worker()->tree->total(), 5);
    for (int n = 0; n < worker()->cores->threadCount; ++n)
        EXPECT_EQ(worker()->cores->threads[n]->queryCapacity, 5);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_GE(dropped->nodes[i].pos.z, 0.0f) << i;
        EXPECT_LE(dropped->nodes[i].pos.z, 0.025f) << i;
        EXPECT_NEAR(dropped->nodes[i].vel.z, 0.0f, 1e-3f) << i;
    }
    // The reactions reached the plate's nodes (tiny motions of a heavy plate).
    EXPECT_LT(plate->nodes[1].vel.z, 0.0f);
    EXPECT_TRUE(worker()->cores->threads[0]->context.selfContacts.empty());  // the plate's
}

TEST_F(WorkerFixture, SoakOfRandomFramesAndObjectChanges)
{
    std::vector<std::unique_ptr<BeamObjectImpl>> pool;
    for (int i = 0; i < kSlots; ++i)
        pool.push_back(smallLattice(float(i) * 3.0f));
    std::vector<int> expected(kSlots, 0);
    std::vector<int> present;
    unsigned seed = 777;
    auto next = [&](unsigned range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    const int frames = 400;
    for (int f = 0; f < frames; ++f) {
        if (next(4) == 0) {  // change the object set between frames
            settle();
            present.clear();
            for (int i = 0; i < kSlots; ++i)
                if (next(2))
                    present.push_back(i);
            std::vector<BeamObjectImpl*> objects;
            for (int i : present)
                objects.push_back(pool[size_t(i)].get());
            setObjects(objects);
        }
        const int substeps = int(next(12));
        frame(substeps);
        for (int i : present)
            expected[size_t(i)] += substeps;
    }
    settle();
    for (int i = 0; i < kSlots; ++i)
        EXPECT_EQ(pool[size_t(i)]->substepCount, expected[size_t(i)]) << "object " << i;
}

} // namespace
