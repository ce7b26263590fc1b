// What one core of this machine can do at best for the beams of one substep of the full-size
// lattice, with everything but the bare work stripped away. The nodes' hot state is packed in
// three aligned four-float arrays of 32 KB each, the most cache-friendly layout there is, and
// per beam only what the normal law cannot do without is done:
//  - BM_FloorDataMovement: read both nodes' position and velocity and add a vector to both
//    nodes' force, in beam order. No arithmetic beyond that.
//  - BM_FloorReadOnly: the reads alone.
//  - BM_FloorNormalLaw: the data movement with the normal law between (one square root and one
//    division per beam), four beams per step, forces added in beam order.
// Set against the budget of one substep (25 us for 20 times real time), these figures bound
// what any arrangement of the solver can reach on the machine they ran on.
#include <benchmark/benchmark.h>

#if defined(__SSE2__)

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

struct alignas(16) Vec4 {
    float x, y, z, w;
};

struct FloorBeam {
    int32_t node1, node2;
};

// The law's inputs in columns too, so that four beams' values are one load.
struct PackedLattice {
    std::vector<Vec4> pos, vel, force;
    std::vector<FloorBeam> beams;
    std::vector<float> restLength, spring, damp;
};

PackedLattice packLattice()
{
    const auto object = VadiZov::testing::makeLattice();
    PackedLattice p;
    for (int n = 0; n < object->node_count; ++n) {
        const NodeCore& node = object->nodes[n];
        p.pos.push_back({node.pos.x, node.pos.y, node.pos.z, 0.0f});
        p.vel.push_back({0.01f * float(n % 7), 0.0f, -0.02f * float(n % 5), 0.0f});
        p.force.push_back({0.0f, 0.0f, 0.0f, 0.0f});
    }
    for (int b = 0; b < object->beam_count; ++b) {
        const BeamCore& beam = object->beams[b];
        p.beams.push_back({beam.node1, beam.node2});
        p.restLength.push_back(beam.restLength);
        p.spring.push_back(beam.spring);
        p.damp.push_back(beam.damp);
    }
    return p;
}

inline __m128 load(const std::vector<Vec4>& v, int i) { return _mm_load_ps(&v[size_t(i)].x); }

inline void addTo(std::vector<Vec4>& v, int i, __m128 f)
{
    _mm_store_ps(&v[size_t(i)].x, _mm_add_ps(_mm_load_ps(&v[size_t(i)].x), f));
}

inline void subtractFrom(std::vector<Vec4>& v, int i, __m128 f)
{
    _mm_store_ps(&v[size_t(i)].x, _mm_sub_ps(_mm_load_ps(&v[size_t(i)].x), f));
}

inline __m128 difference(const PackedLattice& p, const FloorBeam& b)
{
    return _mm_add_ps(_mm_sub_ps(load(p.pos, b.node1), load(p.pos, b.node2)),
                      _mm_sub_ps(load(p.vel, b.node2), load(p.vel, b.node1)));
}

void BM_FloorDataMovement(benchmark::State& state)
{
    PackedLattice p = packLattice();
    for (auto _ : state) {
        for (const FloorBeam& b : p.beams) {
            const __m128 f = difference(p, b);
            addTo(p.force, b.node1, f);
            subtractFrom(p.force, b.node2, f);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorDataMovement)->Unit(benchmark::kMicrosecond);

void BM_FloorReadOnly(benchmark::State& state)
{
    const PackedLattice p = packLattice();
    for (auto _ : state) {
        __m128 sum = _mm_setzero_ps();
        for (const FloorBeam& b : p.beams)
            sum = _mm_add_ps(sum, difference(p, b));
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FloorReadOnly)->Unit(benchmark::kMicrosecond);

// Rows a to d (x, y, z, w each) to three columns.
inline void columns(__m128 a, __m128 b, __m128 c, __m128 d, __m128& x, __m128& y, __m128& z)
{
    const __m128 t0 = _mm_unpacklo_ps(a, b), t1 = _mm_unpacklo_ps(c, d);
    const __m128 t2 = _mm_unpackhi_ps(a, b), t3 = _mm_unpackhi_ps(c, d);
    x = _mm_movelh_ps(t0, t1);
    y = _mm_movehl_ps(t1, t0);
    z = _mm_movelh_ps(t2, t3);
}

// Batches of 256 beams: the law into a small buffer that stays in L1, then the forces in beam
// order. Of the arrangements tried, the fastest here.
void BM_FloorNormalLaw(benchmark::State& state)
{
    PackedLattice p = packLattice();
    const int count = int(p.beams.size()) & ~3;
    constexpr int kBatch = 256;
    std::vector<Vec4> forces(static_cast<size_t>(kBatch));
    for (auto _ : state) {
        for (int first = 0; first < count; first += kBatch) {
            const int end = std::min(count, first + kBatch);
            for (int i = first; i < end; i += 4) {
                const FloorBeam* b = &p.beams[size_t(i)];
                __m128 dx, dy, dz, vx, vy, vz;
                columns(_mm_sub_ps(load(p.pos, b[0].node1), load(p.pos, b[0].node2)),
                        _mm_sub_ps(load(p.pos, b[1].node1), load(p.pos, b[1].node2)),
                        _mm_sub_ps(load(p.pos, b[2].node1), load(p.pos, b[2].node2)),
                        _mm_sub_ps(load(p.pos, b[3].node1), load(p.pos, b[3].node2)), dx, dy, dz);
                columns(_mm_sub_ps(load(p.vel, b[0].node2), load(p.vel, b[0].node1)),
                        _mm_sub_ps(load(p.vel, b[1].node2), load(p.vel, b[1].node1)),
                        _mm_sub_ps(load(p.vel, b[2].node2), load(p.vel, b[2].node1)),
                        _mm_sub_ps(load(p.vel, b[3].node2), load(p.vel, b[3].node1)), vx, vy, vz);
                const __m128 len =
                    _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz)));
                const __m128 invLen = _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(len, _mm_set1_ps(1e-25f)));
                const __m128 u = _mm_mul_ps(
                    _mm_add_ps(_mm_add_ps(_mm_mul_ps(vx, dx), _mm_mul_ps(vy, dy)), _mm_mul_ps(vz, dz)), invLen);
                const __m128 stretch = _mm_sub_ps(len, _mm_loadu_ps(&p.restLength[size_t(i)]));
                const __m128 h = _mm_sub_ps(_mm_mul_ps(_mm_loadu_ps(&p.damp[size_t(i)]), u),
                                            _mm_mul_ps(_mm_loadu_ps(&p.spring[size_t(i)]), stretch));
                const __m128 f = _mm_mul_ps(h, invLen);
                const __m128 fx = _mm_mul_ps(f, dx), fy = _mm_mul_ps(f, dy), fz = _mm_mul_ps(f, dz);
                const __m128 t0 = _mm_unpacklo_ps(fx, fy), t1 = _mm_unpacklo_ps(fz, fz);
                const __m128 t2 = _mm_unpackhi_ps(fx, fy), t3 = _mm_unpackhi_ps(fz, fz);
                Vec4* out = &forces[size_t(i - first)];
                _mm_store_ps(&out[0].x, _mm_movelh_ps(t0, t1));
                _mm_store_ps(&out[1].x, _mm_movehl_ps(t1, t0));
                _mm_store_ps(&out[2].x, _mm_movelh_ps(t2, t3));
                _mm_store_ps(&out[3].x, _mm_movehl_ps(t3, t2));
            }
            for (int i = first; i < end; ++i) {
                const __m128 force = _mm_load_ps(&forces[size_t(i - first)].x);
                addTo(p.force, p.beams[size_t(i)].node1, force);
                subtractFrom(p.force, p.beams[size_t(i)].node2, force);
            }
        }
        benchmark::ClobberMemory();
    }
    state.counters["beams"] = count;
}
BENCHMARK(BM_FloorNormalLaw)->Unit(benchmark::kMicrosecond);

} // namespace

#endif
