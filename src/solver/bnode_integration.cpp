// The node step kernels; see bnode_integration.h.
#include "solver/bnode_integration.h"

#include <cstddef>

#include "base/bmath.h"
#include "base/bsimd.h"

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

#ifdef VELKOR_HAVE_SIMD

// The wide kernel treats a node's first 48 bytes, worldPos pos vel force, as three 16-byte rows
// [wx wy wz px] [py pz vx vy] [vz fx fy fz], and reads pos, vel and force as four-lane vectors
// whose fourth lane belongs to the next field: that lane is computed but never stored. Stores
// bound the loop, so each row is assembled by lane moves and written once; nothing is written
// past force.
static_assert(offsetof(NodeCore, worldPos) == 0);
static_assert(offsetof(NodeCore, pos) == 12);
static_assert(offsetof(NodeCore, vel) == 24);
static_assert(offsetof(NodeCore, force) == 36);
static_assert(offsetof(NodeCore, lastStaticQueryPos) == 48);
static_assert(offsetof(NodeCore, dtOverMass) == 60);
static_assert(offsetof(NodeCore, gravityForce) == 64);
static_assert(offsetof(NodeCore, gravityForce) + 4 <= sizeof(NodeCore));

// How each instruction set assembles the rows: SSE2 with shuffles, AVX2 with SSE4.1 inserts.
struct Sse2Rows {
    static simd::Float4 dtOverMass(const NodeCore&, simd::Float4 tail) { return simd::broadcast<2>(tail); }
    // [wx wy wz px]
    static simd::Float4 first(simd::Float4 world, simd::Float4 pos)
    {
        return simd::pick<0, 1, 0, 2>(world, simd::pick<2, 2, 0, 0>(world, pos));
    }
    // [vz 0 0 gravityForce]
    static simd::Float4 last(simd::Float4 tail, simd::Float4 vel)
    {
        return simd::withLane0(simd::keepLanes(tail, simd::laneMask4(false, false, false, true)),
                               simd::broadcast<2>(vel));
    }
};

struct Avx2Rows {
    VELKOR_AVX2 static simd::Float4 dtOverMass(const NodeCore& n, simd::Float4)
    {
        return simd::broadcastLoad4(&n.dtOverMass);
    }
    VELKOR_AVX2 static simd::Float4 first(simd::Float4 world, simd::Float4 pos)
    {
        return simd::withLane3From0(world, pos);
    }
    VELKOR_AVX2 static simd::Float4 last(simd::Float4 tail, simd::Float4 vel) { return simd::lane2AndLane3(tail, vel); }
};

// Written once; each kernel below flattens it with its own row assembly.
template <class Rows, bool WithSlots>
inline void integrateWide(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
    using namespace simd;
    const Float4 dtv = splat4(dt);
    const Float4 o = make4(origin.x, origin.y, origin.z, 0.0f);
    for (int i = 0; i < count; ++i) {
        NodeCore& n = nodes[i];
        const Float4 tail = load4(&n.lastStaticQueryPos.y);  // [.. .. dtOverMass gravityForce]
        const Float4 vel = add(load4(&n.vel.x), mul(load4(&n.force.x), Rows::dtOverMass(n, tail)));
        const Float4 pos = add(load4(&n.pos.x), mul(vel, dtv));
        const Float4 world = add(pos, o);
        store4(&n.worldPos.x, Rows::first(world, pos));
        store4(&n.pos.y, pick<1, 2, 0, 1>(pos, vel));  // [py pz vx vy]
        store4(&n.vel.z, Rows::last(tail, vel));
        if constexpr (WithSlots)
            if (n.collides && slot != slotEnd)
                writeKeys(*slot++, n.worldPos);
    }
}

template <bool WithSlots>
__attribute__((flatten)) void integrateSse2(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot,
                                                TreeSlot* slotEnd)
{
    integrateWide<Sse2Rows, WithSlots>(nodes, count, dt, origin, slot, slotEnd);
}

template <bool WithSlots>
VELKOR_AVX2 __attribute__((flatten)) void integrateAvx2(NodeCore* nodes, int count, float dt, float3 origin,
                                                        TreeSlot* slot, TreeSlot* slotEnd)
{
    integrateWide<Avx2Rows, WithSlots>(nodes, count, dt, origin, slot, slotEnd);
}

#endif

template <bool WithSlots>
void integrate(SimdKernel kernel, NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
#ifdef VELKOR_HAVE_SIMD
    if (kernel == SimdKernel::Avx2)
        return integrateAvx2<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
    if (kernel == SimdKernel::Sse2)
        return integrateSse2<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
#endif
    (void)kernel;
    integrateScalar<WithSlots>(nodes, count, dt, origin, slot, slotEnd);
}

} // namespace

void integrateNodesWith(SimdKernel kernel, NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* treeSlots,
                        int slotCount)
{
    if (dt == 0.0f) {
        for (int i = 0; i < count; ++i)
            nodes[i].force = float3(0.0f, 0.0f, nodes[i].gravityForce);
        return;
    }
    if (!simdKernelSupported(kernel))
        kernel = SimdKernel::Scalar;
    if (treeSlots && slotCount > 0)
        integrate<true>(kernel, nodes, count, dt, origin, treeSlots, treeSlots + slotCount);
    else
        integrate<false>(kernel, nodes, count, dt, origin, nullptr, nullptr);
}

} // namespace VadiZov
