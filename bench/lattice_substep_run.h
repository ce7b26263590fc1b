// One substep of the full-size lattice per iteration, every stage the core thread runs,
// without the hand-offs. Shared by the substep benchmark and the peer comparison.
#pragma once

#include <benchmark/benchmark.h>

#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "tests/support/lattice_object.h"

namespace VadiZov::bench {

// Parameters of a one-object frame of 33 substeps, the substep index left to the caller.
inline core_parameters_t latticeSubstepParams(BeamObjectRecords** slots)
{
    core_parameters_t params;
    params.objects = slots;
    params.objectCount = 1;
    params.dt = kSubstepTime;
    params.invDt = kInvSubstepTime;
    params.substeps = 33;
    params.frameTime = 33 * kSubstepTime;
    return params;
}

inline void runLatticeSubsteps(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    BeamObjectRecords* slots[1] = {object.get()};
    core_parameters_t params = latticeSubstepParams(slots);
    SubstepContext context;
    int substep = 0;
    for (auto _ : state) {
        params.currentSubstep = substep;
        params.lastSubstep = substep == 32;
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::forceStage(*object, context, params);
        BeamSubstep::contactStage(*object, context, params);
        substep = substep == 32 ? 0 : substep + 1;
    }
    benchmark::DoNotOptimize(object->nodes[0].pos);
    state.counters["nodes"] = object->node_count;
    state.counters["beams"] = object->beam_count;
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) / 2000.0, benchmark::Counter::kIsRate);
}

} // namespace VadiZov::bench
