// The full-size lattice (2000 nodes, 10000 beams) stepped once by this library's substep and
// once by Bullet's btSoftBody, on the calling thread, at the same time step. Bullet runs its
// own body step (predict, one position iteration over the links, integrate) with collisions
// off, so both sides do only the node and beam work. Only this target links Bullet.
#include <benchmark/benchmark.h>

#include <memory>

#include <BulletSoftBody/btSoftBody.h>

#include "bench/lattice_substep_run.h"
#include "solver/bsubstep.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

struct BulletLattice {
    BulletLattice()
    {
        const auto source = VadiZov::testing::makeLattice();
        info.m_gravity = btVector3(0, 0, btScalar(-9.81));
        info.air_density = 0;
        btAlignedObjectArray<btVector3> positions;
        btAlignedObjectArray<btScalar> masses;
        for (int i = 0; i < source->node_count; ++i) {
            const float3& p = source->nodes[i].pos;
            positions.push_back(btVector3(p.x, p.y, p.z));
            masses.push_back(5.0f);
        }
        body = std::make_unique<btSoftBody>(&info, source->node_count, &positions[0], &masses[0]);
        btSoftBody::Material* material = body->appendMaterial();
        material->m_kLST = 1;
        for (int i = 0; i < source->beam_count; ++i)
            body->appendLink(source->beams[i].node1, source->beams[i].node2, material, false);
        body->m_cfg.piterations = 1;
        body->m_cfg.viterations = 0;
        body->m_cfg.diterations = 0;
        body->m_cfg.citerations = 0;
        body->m_cfg.collisions = 0;
        body->m_cfg.kDP = btScalar(0.0001);
    }
    btSoftBodyWorldInfo info;
    std::unique_ptr<btSoftBody> body;
};

} // namespace

static void BM_BulletSoftBodyStep(benchmark::State& state)
{
    BulletLattice lattice;
    btSoftBody& body = *lattice.body;
    for (auto _ : state) {
        body.predictMotion(kSubstepTime);
        body.solveConstraints();
        body.integrateMotion();
    }
    benchmark::DoNotOptimize(body.m_nodes[0].m_x);
    state.counters["nodes"] = double(body.m_nodes.size());
    state.counters["links"] = double(body.m_links.size());
}
BENCHMARK(BM_BulletSoftBodyStep)->Unit(benchmark::kMicrosecond);

// The same lattice and work as BM_LatticeSubstep in bench_substep, beside the peer.
static void BM_VelkorLatticeSubstep(benchmark::State& state)
{
    VadiZov::bench::runLatticeSubsteps(state);
}
BENCHMARK(BM_VelkorLatticeSubstep)->Unit(benchmark::kMicrosecond);
