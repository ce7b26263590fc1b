// Triangle contact: the collision tree's build for 2000 colliding nodes, one triangle's query,
// and the substep of a full-size lattice resting on the ground with its surface covered by
// collision triangles (tree build and search included), beside the same substep without them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "contact/bcollision_tree.h"
#include "contact/btriangle_search.h"
#include "ground/bground_models.h"
#include "ground/bterrain.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "solver/bsurface_forces.h"
#include "tests/support/contact_scene.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

// Colliding nodes (2000 unless told) in a 5 m cube, laid into a tree.
struct Cloud {
    explicit Cloud(int nodes = 2000)
    {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> coord(-2.5f, 2.5f);
        for (int i = 0; i < nodes; ++i)
            object->setNode(-1, float3(coord(rng), coord(rng), coord(rng)), 1.0f, 0, 1.0f, -1, true, true);
        slots[0] = object.get();
        params.objects = slots;
        params.objectCount = 1;
        tree.resize(params);
        tree.writeSlotIds(params);
        BeamSubstep::integrateNodes(*object, kSubstepTime, tree.objectSlots(0), tree.objectSlotCount(0));
        tree.beginBuild();
        tree.build();
    }
    std::unique_ptr<BeamObjectImpl> object = std::make_unique<BeamObjectImpl>();
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    CollisionTriangleTree tree;
};

// The lattice of the contact benchmark, its outer faces covered by collision triangles or not,
// let down onto a slightly sloped terrain and settled.
struct RestingSurface {
    explicit RestingSurface(bool triangles) : covered(triangles)
    {
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(groundModel{}, "ASPHALT");
        heights = VadiZov::testing::gridSamples(64, 64, [](int ix, int) { return 1000 + ix * 20; });
        terrain.setTerrainData(VadiZov::testing::unitGridConfig(64, 64, heights, 0.001f), groundModelTable());
        terrain.setOrigin(float3(-32.0f, -32.0f, -1.0f));
        // 2000 nodes as a low slab, which rests (a tall tower of 10000 beams lacks diagonals in
        // its upper layers and folds up, and then its own triangles catch its nodes).
        VadiZov::testing::LatticeShape shape;
        shape.nx = 25;
        shape.ny = 20;
        shape.nz = 4;
        shape.origin = float3(-3.0f, -2.5f, 0.2f);
        object = VadiZov::testing::makeLattice(shape);
        object->setScript(nullptr);
        for (int i = 0; i < object->node_count; ++i)
            object->nodeProperties[i].triangleCollides = 1;
        if (triangles)
            coverSurface(shape);
        VadiZov::testing::bindSingleObject(params, slots, object.get(), nullptr, &terrain);
        params.contactRampFront = 25.0f;
        params.contactRampBack = 99.99999f;
        tree.resize(params);
        tree.writeSlotIds(params);
        results.assign(size_t(tree.resultCapacity()), 0);
        for (int i = 0; i < 2000; ++i)
            substep();
    }
    // Two triangles per square of every outer face, wound outwards.
    void coverSurface(const VadiZov::testing::LatticeShape& s)
    {
        auto id = [&](int x, int y, int z) { return (z * s.ny + y) * s.nx + x; };
        auto quad = [&](int a, int b, int c, int d) {
            object->setCollisionTriangle(-1, a, b, c, 0.0f, -1.0f, -1, 0, nullptr);
            object->setCollisionTriangle(-1, a, c, d, 0.0f, -1.0f, -1, 0, nullptr);
        };
        for (int y = 0; y + 1 < s.ny; ++y)
            for (int x = 0; x + 1 < s.nx; ++x) {
                quad(id(x, y, 0), id(x, y + 1, 0), id(x + 1, y + 1, 0), id(x + 1, y, 0));
                const int z = s.nz - 1;
                quad(id(x, y, z), id(x + 1, y, z), id(x + 1, y + 1, z), id(x, y + 1, z));
            }
        for (int z = 0; z + 1 < s.nz; ++z) {
            for (int x = 0; x + 1 < s.nx; ++x) {
                quad(id(x, 0, z), id(x + 1, 0, z), id(x + 1, 0, z + 1), id(x, 0, z + 1));
                const int y = s.ny - 1;
                quad(id(x, y, z), id(x, y, z + 1), id(x + 1, y, z + 1), id(x + 1, y, z));
            }
            for (int y = 0; y + 1 < s.ny; ++y) {
                quad(id(0, y, z), id(0, y, z + 1), id(0, y + 1, z + 1), id(0, y + 1, z));
                const int x = s.nx - 1;
                quad(id(x, y, z), id(x, y + 1, z), id(x, y + 1, z + 1), id(x, y, z + 1));
            }
        }
    }
    // The bare substep neither writes tree slots nor builds the tree nor searches.
    void substep()
    {
        if (!covered) {
            BeamSubstep::beginSubstep(*object, params, nullptr);
            BeamSubstep::forceStage(*object, context, params);
            BeamSubstep::contactStage(*object, context, params);
            return;
        }
        BeamSubstep::beginSubstep(*object, params, tree.objectSlots(0), tree.objectSlotCount(0));
        BeamSubstep::forceStage(*object, context, params);
        tree.beginBuild();
        tree.build();
        BeamSubstep::contactStage(*object, context, params, TriangleSearch{&tree, results.data(), int(results.size())});
    }

    bool covered;
    std::vector<uint16_t> heights;
    TerrainBlock terrain;
    std::unique_ptr<BeamObjectImpl> object;
    SubstepContext context;
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    CollisionTriangleTree tree;
    std::vector<uint32_t> results;
};

} // namespace

static void BM_TreeBuild2000(benchmark::State& state)
{
    Cloud cloud;
    for (auto _ : state) {
        cloud.tree.beginBuild();
        cloud.tree.build();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TreeBuild2000)->Unit(benchmark::kMicrosecond);

// Rebuilds while the nodes move: each build sees every key changed a little (two sets of keys,
// 1 mm apart on average, taken in turn), as between substeps. range(0) is the node count.
static void BM_TreeRebuildMoving(benchmark::State& state)
{
    Cloud cloud(int(state.range(0)));
    const int slotCount = cloud.tree.objectSlotCount(0);
    TreeSlot* slots = cloud.tree.objectSlots(0);
    std::vector<TreeSlot> keys[2];
    keys[0].assign(slots, slots + slotCount);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> jitter(-0.002f, 0.002f);
    for (int i = 0; i < cloud.object->node_count; ++i)
        cloud.object->nodes[i].pos += float3(jitter(rng), jitter(rng), jitter(rng));
    BeamSubstep::integrateNodes(*cloud.object, kSubstepTime, slots, slotCount);
    keys[1].assign(slots, slots + slotCount);
    int turn = 0;
    for (auto _ : state) {
        turn ^= 1;
        std::copy(keys[turn].begin(), keys[turn].end(), slots);
        cloud.tree.beginBuild();
        cloud.tree.build();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TreeRebuildMoving)->Arg(283)->Arg(2000)->Unit(benchmark::kMicrosecond);

// One query of a triangle of 0.25 m sides with the narrowest and the widest search radius.
static void BM_TriangleQuery(benchmark::State& state)
{
    Cloud cloud;
    std::vector<uint32_t> out(size_t(cloud.tree.resultCapacity()));
    const float radius = 0.025f * float(state.range(0));
    int found = 0;
    for (auto _ : state) {
        found = cloud.tree.query(out.data(), float3(0, 0, 0), float3(0.25f, 0, 0), float3(0, 0.25f, 0), radius);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
}
BENCHMARK(BM_TriangleQuery)->Arg(1)->Arg(41)->Unit(benchmark::kNanosecond);

// range 0: no triangles; 1: surface covered.
static void BM_RestingLatticeSubstepTriangles(benchmark::State& state)
{
    RestingSurface scene(state.range(0) != 0);
    for (auto _ : state)
        scene.substep();
    benchmark::DoNotOptimize(scene.object->nodes[0].pos);
    state.counters["triangles"] = double(scene.object->collisionTriangles.size());
    float fastest = 0.0f;
    for (int i = 0; i < scene.object->node_count; ++i)
        fastest = std::max(fastest, scene.object->nodes[i].vel.length());
    state.counters["fastest_node"] = fastest;
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) / 2000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RestingLatticeSubstepTriangles)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The triangle search alone on the settled, covered lattice (tree already built).
static void BM_SurfaceTriangleSearch(benchmark::State& state)
{
    RestingSurface scene(true);
    for (auto _ : state) {
        scene.context.selfContacts.clear();
        searchTriangleContacts(*scene.object, scene.params,
                               TriangleSearch{&scene.tree, scene.results.data(), int(scene.results.size())},
                               scene.context);
    }
    state.counters["self_contacts"] = double(scene.context.selfContacts.size());
}
BENCHMARK(BM_SurfaceTriangleSearch)->Unit(benchmark::kMicrosecond);

// The stages around the search on the settled, covered lattice: the tree build for its 1000
// colliding nodes and the triangle normals, pressure and drag stage that the search reads.
static void BM_SurfaceStages(benchmark::State& state)
{
    RestingSurface scene(true);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            scene.tree.beginBuild();
            scene.tree.build();
        } else {
            applyTriangleSurfaceForces(*scene.object, scene.context);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SurfaceStages)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
