// The ground-contact step of a full-size object (2000 nodes, half of them colliding) resting on
// terrain, on the calling thread. The lattice is first let down onto the ground and settled, so
// the measured step sees the common case: nodes in contact, sticking or sliding slowly, and
// the rest clear of the ground. A static floor far from the lattice makes every node's static
// query cheap, as it is in a scene whose static geometry lies elsewhere.
#include <benchmark/benchmark.h>

#include <vector>

#include "solver/bbeam_forces.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "contact/bground_contact.h"
#include "ground/bground_models.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "tests/support/contact_scene.h"
#include "tests/support/lattice_object.h"
#include "velkor/host.h"

using namespace VadiZov;

namespace {

struct RestingLattice {
    RestingLattice()
    {
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(groundModel{}, "ASPHALT");
        // 64 x 64 samples of 1 m, a slight slope along x.
        heights = VadiZov::testing::gridSamples(64, 64, [](int ix, int) { return 1000 + ix * 20; });
        terrain.setTerrainData(VadiZov::testing::unitGridConfig(64, 64, heights, 0.001f), groundModelTable());
        terrain.setOrigin(float3(-32.0f, -32.0f, -1.0f));
        collider.addTriangle(float3(500, 500, 0), float3(500, 501, 0), float3(501, 500, 0));
        collider.commit(false);
        collider.rebuild();

        VadiZov::testing::LatticeShape shape;
        shape.origin = float3(-1.0f, -1.0f, 0.2f);
        object = VadiZov::testing::makeLattice(shape);
        object->setScript(nullptr);
        VadiZov::testing::bindSingleObject(params, slots, object.get(), &collider, &terrain);
        for (int i = 0; i < 2000; ++i) {  // one simulated second: it lands and settles
            BeamSubstep::beginSubstep(*object, params, nullptr);
            BeamSubstep::forceStage(*object, context, params);
        }
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::computeBeamForces(*object, context);
        for (int i = 0; i < object->node_count; ++i)
            saved.push_back(object->nodes[i].force);
    }
    // The forces as they stand before the contact step.
    void restoreForces()
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = saved[size_t(i)];
    }
    int nodesInContact() const
    {
        int count = 0;
        for (int i = 0; i < object->node_count; ++i)
            if (object->nodes[i].collides && terrain.getHeight(object->nodes[i].worldPos) >= object->nodes[i].worldPos.z)
                ++count;
        return count;
    }

    std::vector<uint16_t> heights;
    TerrainBlock terrain;
    StaticCollider collider;
    std::unique_ptr<BeamObjectImpl> object;
    SubstepContext context;
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    std::vector<float3> saved;
};

} // namespace

static void BM_GroundContactStep(benchmark::State& state)
{
    RestingLattice scene;
    for (auto _ : state) {
        scene.restoreForces();
        groundContactStep(*scene.object, scene.params);
        benchmark::ClobberMemory();
    }
    state.counters["nodes"] = scene.object->node_count;
    state.counters["colliding"] = scene.object->collisionNodeCount;
    state.counters["in_contact"] = scene.nodesInContact();
}
BENCHMARK(BM_GroundContactStep)->Unit(benchmark::kMicrosecond);

// The whole substep of the same resting lattice, for the share the contact step takes.
static void BM_RestingLatticeSubstep(benchmark::State& state)
{
    RestingLattice scene;
    for (auto _ : state) {
        BeamSubstep::beginSubstep(*scene.object, scene.params, nullptr);
        BeamSubstep::forceStage(*scene.object, scene.context, scene.params);
        BeamSubstep::contactStage(*scene.object, scene.context, scene.params);
    }
    benchmark::DoNotOptimize(scene.object->nodes[0].pos);
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) / 2000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RestingLatticeSubstep)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The contact step of the lattice with nothing to touch (no terrain, no static collider):
// 0 the step as the substep makes it, 1 the walk over the nodes that it leaves out.
static void BM_GroundContactNothingToTouch(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    object->setScript(nullptr);
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    VadiZov::testing::bindSingleObject(params, slots, object.get(), nullptr, nullptr);
    const bool walk = state.range(0) == 1;
    for (auto _ : state) {
        if (walk)
            resolveNodeContacts(*object, nullptr, nullptr, nullptr);
        else
            groundContactStep(*object, params);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GroundContactNothingToTouch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
