// Reference kernels for the beams of one substep of the full-size lattice, with everything but
// the bare work stripped away. They compare node layouts and are no lower bound: wider
// kernels or another layout can beat them. The nodes' hot state is packed in three aligned
// four-float arrays of 32 KB each, and per beam only what the normal law cannot do without is done:
//  - BM_FloorDataMovement: read both nodes' position and velocity and add a vector to both
//    nodes' force, in beam order. No arithmetic beyond that.
//  - BM_FloorReadOnly: the reads alone.
//  - BM_FloorNormalLaw: the data movement with the normal law between (one square root and one
//    division per beam), four beams per step, forces added in beam order.
//  - BM_FloorNormalLawOnRecords: the same law on the library's own node records.
//  - BM_SubstepTraffic: the bytes a substep of the library's records must move at least (every
//    beam record read once, every node record read and written once by the beam loop and once
//    by integration), streamed in address order with no work: memory's share of the substep.
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

// The beams of the lattice; the law's inputs in columns, so that four beams' values are one load.
struct LatticeBeams {
    std::vector<FloorBeam> ends;
    std::vector<float> restLength, spring, damp;
};

// Nodes packed in three arrays of four floats.
struct PackedNodes {
    std::vector<Vec4> pos, vel, force;
    __m128 position(int n) const { return _mm_load_ps(&pos[size_t(n)].x); }
    __m128 velocity(int n) const { return _mm_load_ps(&vel[size_t(n)].x); }
    void add(int n, __m128 f) { _mm_store_ps(&force[size_t(n)].x, _mm_add_ps(_mm_load_ps(&force[size_t(n)].x), f)); }
    void subtract(int n, __m128 f)
    {
        _mm_store_ps(&force[size_t(n)].x, _mm_sub_ps(_mm_load_ps(&force[size_t(n)].x), f));
    }
};

// The library's node records. Each read takes four floats, the fourth from the next field; the
// force is written as three floats so that the next field keeps its value.
struct RecordNodes {
    NodeCore* nodes;
    __m128 position(int n) const { return _mm_loadu_ps(&nodes[n].pos.x); }
    __m128 velocity(int n) const { return _mm_loadu_ps(&nodes[n].vel.x); }
    void add(int n, __m128 f) { write(nodes[n].force, _mm_add_ps(_mm_loadu_ps(&nodes[n].force.x), f)); }
    void subtract(int n, __m128 f) { write(nodes[n].force, _mm_sub_ps(_mm_loadu_ps(&nodes[n].force.x), f)); }
    static void write(float3& to, __m128 v)
    {
        _mm_storel_pi(reinterpret_cast<__m64*>(&to.x), v);
        _mm_store_ss(&to.z, _mm_movehl_ps(v, v));
    }
};

struct Lattice {
    std::unique_ptr<BeamObjectImpl> object;
    LatticeBeams beams;
    PackedNodes packed;
};

Lattice makeFloorLattice()
{
    Lattice l{VadiZov::testing::makeLattice(), {}, {}};
    BeamObjectImpl& o = *l.object;
    for (int n = 0; n < o.node_count; ++n) {
        NodeCore& node = o.nodes[n];
        node.vel = float3(0.01f * float(n % 7), 0.0f, -0.02f * float(n % 5));
        l.packed.pos.push_back({node.pos.x, node.pos.y, node.pos.z, 0.0f});
        l.packed.vel.push_back({node.vel.x, node.vel.y, node.vel.z, 0.0f});
        l.packed.force.push_back({0.0f, 0.0f, 0.0f, 0.0f});
    }
    for (int b = 0; b < o.beam_count; ++b) {
        const BeamCore& beam = o.beams[b];
        l.beams.ends.push_back({beam.node1, beam.node2});
        l.beams.restLength.push_back(beam.restLength);
        l.beams.spring.push_back(beam.spring);
        l.beams.damp.push_back(beam.damp);
    }
    return l;
}

template <class Nodes>
inline __m128 difference(const Nodes& nodes, const FloorBeam& b)
{
    return _mm_add_ps(_mm_sub_ps(nodes.position(b.node1), nodes.position(b.node2)),
                      _mm_sub_ps(nodes.velocity(b.node2), nodes.velocity(b.node1)));
}

void BM_FloorDataMovement(benchmark::State& state)
{
    Lattice l = makeFloorLattice();
    for (auto _ : state) {
        for (const FloorBeam& b : l.beams.ends) {
            const __m128 f = difference(l.packed, b);
            l.packed.add(b.node1, f);
            l.packed.subtract(b.node2, f);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorDataMovement)->Unit(benchmark::kMicrosecond);

void BM_FloorReadOnly(benchmark::State& state)
{
    const Lattice l = makeFloorLattice();
    for (auto _ : state) {
        __m128 sum = _mm_setzero_ps();
        for (const FloorBeam& b : l.beams.ends)
            sum = _mm_add_ps(sum, difference(l.packed, b));
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
template <class Nodes>
void normalLaw(Nodes& nodes, const LatticeBeams& beams, std::vector<Vec4>& batch)
{
    constexpr int kBatch = 256;
    batch.resize(kBatch);
    const int count = int(beams.ends.size()) & ~3;
    for (int first = 0; first < count; first += kBatch) {
        const int end = std::min(count, first + kBatch);
        for (int i = first; i < end; i += 4) {
            const FloorBeam* b = &beams.ends[size_t(i)];
            auto dp = [&](int j) { return _mm_sub_ps(nodes.position(b[j].node1), nodes.position(b[j].node2)); };
            auto dv = [&](int j) { return _mm_sub_ps(nodes.velocity(b[j].node2), nodes.velocity(b[j].node1)); };
            __m128 dx, dy, dz, vx, vy, vz;
            columns(dp(0), dp(1), dp(2), dp(3), dx, dy, dz);
            columns(dv(0), dv(1), dv(2), dv(3), vx, vy, vz);
            const __m128 len =
                _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz)));
            const __m128 invLen = _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(len, _mm_set1_ps(1e-25f)));
            const __m128 u =
                _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(vx, dx), _mm_mul_ps(vy, dy)), _mm_mul_ps(vz, dz)), invLen);
            const __m128 stretch = _mm_sub_ps(len, _mm_loadu_ps(&beams.restLength[size_t(i)]));
            const __m128 h = _mm_sub_ps(_mm_mul_ps(_mm_loadu_ps(&beams.damp[size_t(i)]), u),
                                        _mm_mul_ps(_mm_loadu_ps(&beams.spring[size_t(i)]), stretch));
            const __m128 f = _mm_mul_ps(h, invLen);
            const __m128 fx = _mm_mul_ps(f, dx), fy = _mm_mul_ps(f, dy), fz = _mm_mul_ps(f, dz);
            const __m128 t0 = _mm_unpacklo_ps(fx, fy), t1 = _mm_unpacklo_ps(fz, fz);
            const __m128 t2 = _mm_unpackhi_ps(fx, fy), t3 = _mm_unpackhi_ps(fz, fz);
            Vec4* out = &batch[size_t(i - first)];
            _mm_store_ps(&out[0].x, _mm_movelh_ps(t0, t1));
            _mm_store_ps(&out[1].x, _mm_movehl_ps(t1, t0));
            _mm_store_ps(&out[2].x, _mm_movelh_ps(t2, t3));
            _mm_store_ps(&out[3].x, _mm_movehl_ps(t3, t2));
        }
        for (int i = first; i < end; ++i) {
            const __m128 force = _mm_load_ps(&batch[size_t(i - first)].x);
            nodes.add(beams.ends[size_t(i)].node1, force);
            nodes.subtract(beams.ends[size_t(i)].node2, force);
        }
    }
}

void BM_FloorNormalLaw(benchmark::State& state)
{
    Lattice l = makeFloorLattice();
    std::vector<Vec4> batch;
    for (auto _ : state) {
        normalLaw(l.packed, l.beams, batch);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorNormalLaw)->Unit(benchmark::kMicrosecond);

void BM_FloorNormalLawOnRecords(benchmark::State& state)
{
    Lattice l = makeFloorLattice();
    RecordNodes records{l.object->nodes};
    std::vector<Vec4> batch;
    for (auto _ : state) {
        normalLaw(records, l.beams, batch);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorNormalLawOnRecords)->Unit(benchmark::kMicrosecond);

void BM_SubstepTraffic(benchmark::State& state)
{
    auto object = VadiZov::testing::makeLattice();
    // Raw bytes: the SSE loads and stores may alias any type.
    const float* beams = reinterpret_cast<const float*>(object->beams);
    const size_t beamFloats = size_t(object->beam_count) * sizeof(BeamCore) / sizeof(float) & ~size_t(3);
    float* nodes = reinterpret_cast<float*>(object->nodes);
    const size_t nodeFloats = size_t(object->node_count) * sizeof(NodeCore) / sizeof(float) & ~size_t(3);
    // An opaque zero: or-ing it writes every byte back unchanged, with no float arithmetic.
    __m128 zero = _mm_setzero_ps();
    benchmark::DoNotOptimize(zero);
    for (auto _ : state) {
        __m128 sum = _mm_setzero_ps();
        for (size_t i = 0; i < beamFloats; i += 4)
            sum = _mm_add_ps(sum, _mm_loadu_ps(beams + i));
        benchmark::DoNotOptimize(sum);
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < nodeFloats; i += 4)
                _mm_storeu_ps(nodes + i, _mm_or_ps(_mm_loadu_ps(nodes + i), zero));
        benchmark::ClobberMemory();
    }
    const size_t bytes = (beamFloats + 4 * nodeFloats) * sizeof(float);  // node bytes: 2 passes x (read + write)
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_SubstepTraffic)->Unit(benchmark::kMicrosecond);

} // namespace

#endif
