// One substep of a full-size object (2000 nodes, 10000 normal beams) on the calling thread:
// every stage the core thread runs, without the hand-offs. Real time is 2000 substeps per
// simulated second, so the "x_realtime" counter is 1 s / (2000 x the time of one substep).
#include <benchmark/benchmark.h>

#include "bench/lattice_substep_run.h"
#include "solver/bbeam_batch.h"
#include "solver/bbeam_forces.h"
#include "solver/bsubstep_context.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

static void BM_LatticeSubstep(benchmark::State& state)
{
    VadiZov::bench::runLatticeSubsteps(state);
}
BENCHMARK(BM_LatticeSubstep)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_BeamForcesOnly(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    SubstepContext context;
    for (auto _ : state) {
        BeamSubstep::computeBeamForces(*object, context);
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
    SubstepContext context;
    for (auto _ : state) {
        if (which == 0)
            BeamSubstep::computeBeamForcesReference(*object, context);
        else
            computeBeamForcesWith(*object, context, which == 1 ? SimdKernel::Scalar : SimdKernel::Avx2);
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
    }
    benchmark::DoNotOptimize(object->nodes[0].force);
}
BENCHMARK(BM_BeamForcesBy)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Direct adds (0) against ordered force sums (1) by lattice size (nodes).
static void BM_ForceSumsBySize(benchmark::State& state)
{
    VadiZov::testing::LatticeShape shape;
    shape.nz = int(state.range(0)) / (shape.nx * shape.ny);
    shape.maxBeams = 5 * shape.nx * shape.ny * shape.nz;
    auto object = VadiZov::testing::makeLattice(shape);
    const ForceSums sums = state.range(1) ? ForceSums::Ordered : ForceSums::Direct;
    SubstepContext context;
    for (auto _ : state) {
        computeBeamForcesWith(*object, context, bestSimdKernel(), sums);
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
    }
    benchmark::DoNotOptimize(object->nodes[0].force);
}
BENCHMARK(BM_ForceSumsBySize)
    ->ArgsProduct({{200, 300, 500, 800, 1200, 2000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

static void BM_NodeIntegrationOnly(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    for (auto _ : state)
        BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
    benchmark::DoNotOptimize(object->nodes[0].pos);
}
BENCHMARK(BM_NodeIntegrationOnly)->Unit(benchmark::kMicrosecond);
