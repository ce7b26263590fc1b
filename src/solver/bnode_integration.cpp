// The node step kernels; see bnode_integration.h.
#include "solver/bnode_integration.h"

#include <cstddef>

#include "base/bmath.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace VadiZov {

namespace {

inline void writeKeys(TreeSlot& slot, const float3& p)
{
    slot.key[0] = sortableKey(p.x);
    slot.key[1] = sortableKey(p.y);
    slot.key[2] = sortableKey(p.z);
}

template <bool WithSlots>
void integrateScalar(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
    for (int i = 0; i < count; ++i) {
        NodeCore& n = nodes[i];
        const float s = n.dtOverMass;
        n.vel.x += n.force.x * s;
        n.vel.y += n.force.y * s;
        n.vel.z += n.force.z * s;
        n.pos.x += n.vel.x * dt;
        n.pos.y += n.vel.y * dt;
        n.pos.z += n.vel.z * dt;
        n.worldPos.x = n.pos.x + origin.x;
        n.worldPos.y = n.pos.y + origin.y;
        n.worldPos.z = n.pos.z + origin.z;
        if constexpr (WithSlots)
            if (n.collides && slot != slotEnd)
                writeKeys(*slot++, n.worldPos);
        n.force = float3(0.0f, 0.0f, n.gravityForce);
    }
}

#if defined(__SSE2__)

// The SIMD kernels treat a node's first 48 bytes, worldPos pos vel force, as three 16-byte
// rows [wx wy wz px] [py pz vx vy] [vz fx fy fz], and read pos, vel and force as four-lane
// vectors whose fourth lane belongs to the next field: that lane is computed but never stored.
// Stores bound the loop, so each row is assembled by shuffles and written once; nothing is
// written past force.
static_assert(offsetof(NodeCore, worldPos) == 0);
static_assert(offsetof(NodeCore, pos) == 12);
static_assert(offsetof(NodeCore, vel) == 24);
static_assert(offsetof(NodeCore, force) == 36);
static_assert(offsetof(NodeCore, dtOverMass) == 60);
static_assert(offsetof(NodeCore, gravityForce) == 64);
static_assert(offsetof(NodeCore, gravityForce) + 4 <= sizeof(NodeCore));

inline float* at(NodeCore& n, size_t offset) { return reinterpret_cast<float*>(reinterpret_cast<char*>(&n) + offset); }

struct Stepped {
    __m128 vel, pos, world;  // x y z in lanes 0-2
};

inline Stepped step(NodeCore& n, __m128 dtOverMass, __m128 dt, __m128 origin)
{
    Stepped r;
    r.vel = _mm_add_ps(_mm_loadu_ps(at(n, 24)), _mm_mul_ps(_mm_loadu_ps(at(n, 36)), dtOverMass));
    r.pos = _mm_add_ps(_mm_loadu_ps(at(n, 12)), _mm_mul_ps(r.vel, dt));
    r.world = _mm_add_ps(r.pos, origin);
    return r;
}

// [py pz vx vy]
inline __m128 middleRow(const Stepped& r) { return _mm_shuffle_ps(r.pos, r.vel, _MM_SHUFFLE(1, 0, 2, 1)); }

template <bool WithSlots>
void integrateSse2(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
    const __m128 dtv = _mm_set1_ps(dt);
    const __m128 o = _mm_setr_ps(origin.x, origin.y, origin.z, 0.0f);
    const __m128 lastLane = _mm_castsi128_ps(_mm_setr_epi32(0, 0, 0, -1));
    for (int i = 0; i < count; ++i) {
        NodeCore& n = nodes[i];
        const __m128 tail = _mm_loadu_ps(at(n, 52));  // lastStaticQueryPos.yz, dtOverMass, gravityForce
        const Stepped r = step(n, _mm_shuffle_ps(tail, tail, _MM_SHUFFLE(2, 2, 2, 2)), dtv, o);
        const __m128 wwpp = _mm_shuffle_ps(r.world, r.pos, _MM_SHUFFLE(0, 0, 2, 2));
        _mm_storeu_ps(at(n, 0), _mm_shuffle_ps(r.world, wwpp, _MM_SHUFFLE(2, 0, 1, 0)));
        _mm_storeu_ps(at(n, 16), middleRow(r));
        // [vz 0 0 gravityForce]
        _mm_storeu_ps(at(n, 32), _mm_move_ss(_mm_and_ps(tail, lastLane), _mm_unpackhi_ps(r.vel, r.vel)));
        if constexpr (WithSlots)
            if (n.collides && slot != slotEnd)
                writeKeys(*slot++, n.worldPos);
    }
}

// Needs only SSE4.1 and VEX encoding, but follows the library's one run-time split: AVX2 or not.
template <bool WithSlots>
__attribute__((target("avx2"))) void integrateAvx2(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot,
                                                   TreeSlot* slotEnd)
{
    const __m128 dtv = _mm_set1_ps(dt);
    const __m128 o = _mm_setr_ps(origin.x, origin.y, origin.z, 0.0f);
    for (int i = 0; i < count; ++i) {
        NodeCore& n = nodes[i];
        const Stepped r = step(n, _mm_broadcast_ss(&n.dtOverMass), dtv, o);
        _mm_storeu_ps(at(n, 0), _mm_insert_ps(r.world, r.pos, 0x30));  // pos.x into lane 3
        _mm_storeu_ps(at(n, 16), middleRow(r));
        // vel.z into lane 0 of [.. .. .. gravityForce], lanes 1 and 2 zeroed
        _mm_storeu_ps(at(n, 32), _mm_insert_ps(_mm_loadu_ps(at(n, 52)), r.vel, 0x86));
        if constexpr (WithSlots)
            if (n.collides && slot != slotEnd)
                writeKeys(*slot++, n.worldPos);
    }
}

#endif

template <bool WithSlots>
void integrate(NodeKernel kernel, NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
#if defined(__SSE2__)
    if (kernel == NodeKernel::Avx2)
        return integrateAvx2<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
    if (kernel == NodeKernel::Sse2)
        return integrateSse2<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
#endif
    (void)kernel;
    integrateScalar<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
}

} // namespace

bool nodeKernelSupported(NodeKernel kernel)
{
    switch (kernel) {
    case NodeKernel::Scalar:
        return true;
#if defined(__SSE2__)
    case NodeKernel::Sse2:
        return true;
    case NodeKernel::Avx2:
        return __builtin_cpu_supports("avx2");
#endif
    default:
        return false;
    }
}

NodeKernel bestNodeKernel()
{
    static const NodeKernel best = nodeKernelSupported(NodeKernel::Avx2)   ? NodeKernel::Avx2
                                   : nodeKernelSupported(NodeKernel::Sse2) ? NodeKernel::Sse2
                                                                           : NodeKernel::Scalar;
    return best;
}

void integrateNodesWith(NodeKernel kernel, NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* treeSlots,
                        int slotCount)
{
    if (dt == 0.0f) {
        for (int i = 0; i < count; ++i)
            nodes[i].force = float3(0.0f, 0.0f, nodes[i].gravityForce);
        return;
    }
    if (!nodeKernelSupported(kernel))
        kernel = NodeKernel::Scalar;
    if (treeSlots && slotCount > 0)
        integrate<true>(kernel, nodes, count, dt, origin, treeSlots, treeSlots + slotCount);
    else
        integrate<false>(kernel, nodes, count, dt, origin, nullptr, nullptr);
}

} // namespace VadiZov
