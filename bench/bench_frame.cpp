// One frame of 33 substeps through the physics worker and one core thread, as the frame step
// drives it: wait for the previous frame, write the frame's parameters, release the worker.
// Set against BM_LatticeSubstep x 33, the difference is the cost of the hand-offs (four per
// substep: release, half-done, release, done). The small-object case shows the hand-offs alone.
#include <benchmark/benchmark.h>

#include "threads/bphysics_worker.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

constexpr int kSubstepsPerFrame = 33;

void runFrames(benchmark::State& state, BeamObjectImpl& object)
{
    platform::CriticalSection engineLock(1024);
    BeamObjectRecords* slots[1] = {&object};
    core_parameters_t params;
    params.objects = slots;
    params.objectCount = 1;
    params.objectsChanged = true;
    ThreadContext<core_parameters_t> context;
    context.engineLock = &engineLock;
    context.params = &params;
    {
        WorkerManager workers(context);
        workers.addThreads(1, 0, 0);
        bool started = false;
        for (auto _ : state) {
            if (started)
                workers.waitForAllDone();
            params.dt = kSubstepTime;
            params.invDt = kInvSubstepTime;
            params.substeps = kSubstepsPerFrame;
            params.frameTime = float(kSubstepsPerFrame) * kSubstepTime;
            params.renderBuffer = int16_t(params.renderBuffer ^ 1);
            workers.release(0);
            started = true;
        }
        if (started)
            workers.waitForAllDone();
    }
    state.counters["s_per_substep"] = benchmark::Counter(double(state.iterations()) * kSubstepsPerFrame,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

static void BM_FrameOfLattice(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    runFrames(state, *object);
}
BENCHMARK(BM_FrameOfLattice)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_FrameOfTwoNodes(benchmark::State& state)
{
    VadiZov::testing::LatticeShape shape;
    shape.nx = 2;
    shape.ny = 1;
    shape.nz = 1;
    auto object = VadiZov::testing::makeLattice(shape);
    runFrames(state, *object);
}
BENCHMARK(BM_FrameOfTwoNodes)->Unit(benchmark::kMicrosecond)->UseRealTime();
