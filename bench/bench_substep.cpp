// One substep of a full-size object (2000 nodes, 10000 normal beams) on the calling thread:
// every stage the core thread runs, without the hand-offs. Real time is 2000 substeps per
// simulated second, so the "x_realtime" counter is 1 s / (2000 x the time of one substep).
#include <benchmark/benchmark.h>

#include "solver/bbeam_batch.h"
#include "solver/bsubstep.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

static void BM_LatticeSubstep(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    BeamObjectImpl* slots[1] = {object.get()};
    core_parameters_t params;
    params.objects = slots;
    params.objectCount = 1;
    params.dt = kSubstepTime;
    params.invDt = kInvSubstepTime;
    params.substeps = 33;
    params.frameTime = 33 * kSubstepTime;
    int substep = 0;
    for (auto _ : state) {
        params.currentSubstep = substep;
        params.lastSubstep = substep == 32;
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::forceStage(*object, params);
        BeamSubstep::contactStage(*object, params);
        substep = substep == 32 ? 0 : substep + 1;
    }
    benchmark::DoNotOptimize(object->nodes[0].pos);
    state.counters["nodes"] = object->node_count;
    state.counters["beams"] = object->beam_count;
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) / 2000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LatticeSubstep)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_BeamForcesOnly(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    for (auto _ : state) {
        BeamSubstep::computeBeamForces(*object);
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
    }
    benchmark::DoNotOptimize(object->nodes[0].force);
}
BENCHMARK(BM_BeamForcesOnly)->Unit(benchmark::kMicrosecond);

// The beam loop per implementation: 0 the sequential reference, 1 the portable batch kernel,
// 2 the AVX2 one.
static void BM_BeamForcesBy(benchmark::State& state)
{
    const int which = int(state.range(0));
    if (which == 2 && !simdKernelSupported(SimdKernel::Avx2)) {
        state.SkipWithError("no AVX2");
        return;
    }
    auto object = VadiZov::testing::makeLattice();
    for (auto _ : state) {
        if (which == 0)
            BeamSubstep::computeBeamForcesReference(*object);
        else
            computeBeamForcesWith(*object, which == 1 ? SimdKernel::Scalar : SimdKernel::Avx2);
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
    }
    benchmark::DoNotOptimize(object->nodes[0].force);
}
BENCHMARK(BM_BeamForcesBy)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

static void BM_NodeIntegrationOnly(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    for (auto _ : state)
        BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
    benchmark::DoNotOptimize(object->nodes[0].pos);
}
BENCHMARK(BM_NodeIntegrationOnly)->Unit(benchmark::kMicrosecond);
