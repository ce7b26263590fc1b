// The substep's slide-node, pressure-and-drag and wheel stages on the full-size lattice
// (2000 nodes, 10000 beams), each at several counts up to its capacity so that the time per
// element shows whether it scales linearly, and the whole substep with every stage active
// beside the bare lattice's. Real time is 2000 substeps per simulated second.
#include <benchmark/benchmark.h>

#include "bench/lattice_substep_run.h"
#include "object/bobject_rails.h"
#include "object/bobject_wheels.h"
#include "solver/bpressure_groups.h"
#include "solver/bslide_nodes.h"
#include "solver/bsubstep.h"
#include "solver/bsurface_forces.h"
#include "solver/bwheel_forces.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

constexpr int kNx = 10, kNy = 10, kNz = 20;  // the default lattice
int latticeId(int x, int y, int z) { return (z * kNy + y) * kNx + x; }

// Two triangles per grid cell of every xy layer, taken in order; 100 to a pressure group. The
// groups start at the ambient pressure, so they hold the lattice without pushing it apart.
void addTriangles(BeamObjectImpl& object, int count)
{
    for (int z = 0, made = 0; z < kNz; ++z)
        for (int y = 0; y + 1 < kNy; ++y)
            for (int x = 0; x + 1 < kNx; ++x)
                for (int half = 0; half < 2 && made < count; ++half, ++made) {
                    const int a = latticeId(x, y, z), b = latticeId(x + 1, y, z), c = latticeId(x + 1, y + 1, z),
                              d = latticeId(x, y + 1, z);
                    object.setCollisionTriangle(-1, a, half ? c : b, half ? d : c, 0.5f, 101325.0f, made / 100, 0,
                                                nullptr);
                }
}

// Wheel w turns the 100 nodes of layer w about an axle through two nodes of the next layers,
// braked against a corner node of another layer: the costlier braked path.
void addWheels(BeamObjectImpl& object, int count)
{
    for (int w = 0; w < count; ++w) {
        wheel handle = setWheel(object, -1, latticeId(5, 5, (w + 1) % kNz), latticeId(5, 5, (w + 2) % kNz),
                                latticeId(0, 0, (w + 3) % kNz));
        for (int i = 0; i < 100; ++i)
            handle.addNode(w * 100 + i);
        object.wheels[w].torque = 10.0f;
        object.wheels[w].brakingTorque = 1000.0f;
    }
}

// Rails of ten links along x through the lattice's rows; each slide node is the node of the
// row above, which lies on the line within the slack.
void addSlideNodes(BeamObjectImpl& object, int count)
{
    for (int s = 0; s < count; ++s) {
        const int y = s % (kNy - 1), z = s / (kNy - 1);
        const int rail = addRail(object, 0);
        for (int x = 0; x < kNx; ++x)
            addRailLink(object, rail, latticeId(x, y, z % kNz), 0, 0);
        addSlidenode(object, latticeId(4, y + 1, z % kNz), rail, 1, 0, 1.0f, 1000.0f, 1e9f, 1e9f);
    }
}

void runSubsteps(benchmark::State& state, BeamObjectImpl& object)
{
    BeamObjectRecords* slots[1] = {&object};
    core_parameters_t params = bench::latticeSubstepParams(slots);
    SubstepContext context;
    int substep = 0;
    for (auto _ : state) {
        params.currentSubstep = substep;
        params.lastSubstep = substep == 32;
        BeamSubstep::beginSubstep(object, params, nullptr);
        BeamSubstep::forceStage(object, context, params);
        BeamSubstep::contactStage(object, context, params);
        substep = substep == 32 ? 0 : substep + 1;
    }
    benchmark::DoNotOptimize(object.nodes[0].pos);
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) / 2000.0, benchmark::Counter::kIsRate);
}

void perElement(benchmark::State& state, int count)
{
    state.counters["count"] = count;
    state.counters["ns_each"] =
        benchmark::Counter(double(state.iterations()) * count, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

static void BM_SurfaceStage(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    const int count = int(state.range(0));
    addTriangles(*object, count);
    SubstepContext context;
    for (auto _ : state) {
        updatePressureGroups(*object, context);
        applyTriangleSurfaceForces(*object, context);
    }
    benchmark::DoNotOptimize(object->nodes[0].force);
    perElement(state, count);
}
BENCHMARK(BM_SurfaceStage)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMicrosecond);

static void BM_WheelStage(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    const int count = int(state.range(0));
    addWheels(*object, count);
    for (auto _ : state)
        applyWheelForces(*object, kSubstepTime);
    benchmark::DoNotOptimize(object->nodes[0].force);
    perElement(state, count * 100);
}
BENCHMARK(BM_WheelStage)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

static void BM_SlideNodeStage(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    const int count = int(state.range(0));
    addSlideNodes(*object, count);
    for (auto _ : state)
        applySlideNodeForces(*object);
    benchmark::DoNotOptimize(object->nodes[0].force);
    perElement(state, count);
}
BENCHMARK(BM_SlideNodeStage)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

static void BM_BareLatticeSubstep(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    runSubsteps(state, *object);
}
BENCHMARK(BM_BareLatticeSubstep)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_EveryStageSubstep(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    addTriangles(*object, 2000);
    addWheels(*object, 20);
    addSlideNodes(*object, 200);
    runSubsteps(state, *object);
}
BENCHMARK(BM_EveryStageSubstep)->Unit(benchmark::kMicrosecond)->UseRealTime();
