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

// The wide kernel reads a node's rows [px py pz dtOverMass] [vx vy vz gravityForce] and
// [fx fy fz (ids)] as four-lane vectors. Lanes 0 to 2 get the scalar loop's operations; lane 3
// of each stored row is put back from what was read, so dtOverMass, gravityForce and the ids
// keep their bits; worldPos is stored as a full row, over the four bytes of padding after it.
static_assert(offsetof(NodeCore, pos) == 0);
static_assert(offsetof(NodeCore, dtOverMass) == 12);
static_assert(offsetof(NodeCore, vel) == 16);
static_assert(offsetof(NodeCore, gravityForce) == 28);
static_assert(offsetof(NodeCore, force) == 32);
static_assert(offsetof(NodeCore, collisionId) == 44);
static_assert(offsetof(NodeCore, lastStaticQueryPos) == 48);
static_assert(offsetof(NodeCore, worldPos) == 60);
static_assert(offsetof(NodeCore, worldPos) + 16 <= sizeof(NodeCore) && alignof(NodeCore) == 16);

// How each instruction set keeps lane 3: SSE2 with masks, AVX2 with one blend.
struct Sse2Rows {
    static simd::Float4 lane3From(simd::Float4 lanes012, simd::Float4 lane3) { return simd::withLane3Of(lanes012, lane3); }
};

struct Avx2Rows {
    VELKOR_AVX2 static simd::Float4 lane3From(simd::Float4 lanes012, simd::Float4 lane3)
    {
        return simd::withLane3OfBlend(lanes012, lane3);
    }
};

// Written once; each kernel below flattens it with its own lane assembly.
template <class Rows, bool WithSlots>
inline void integrateWide(NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* slot, TreeSlot* slotEnd)
{
    using namespace simd;
    const Float4 dtv = splat4(dt);
    const Float4 o = make4(origin.x, origin.y, origin.z, 0.0f);
    for (int i = 0; i < count; ++i) {
        NodeCore& n = nodes[i];
        const Float4 posRow = load4Aligned(&n.pos.x);    // [px py pz dtOverMass]
        const Float4 velRow = load4Aligned(&n.vel.x);    // [vx vy vz gravityForce]
        const Float4 forceRow = load4Aligned(&n.force.x);  // [fx fy fz ids]
        // The ids' bits are no number to compute with: lane 3 of the force counts as zero.
        const Float4 force = keepLanes(forceRow, laneMask4(true, true, true, false));
        const Float4 vel = add(velRow, mul(force, broadcast<3>(posRow)));
        const Float4 pos = add(posRow, mul(vel, dtv));
        store4Aligned(&n.vel.x, Rows::lane3From(vel, velRow));
        store4Aligned(&n.pos.x, Rows::lane3From(pos, posRow));
        store4(&n.worldPos.x, add(pos, o));  // its fourth lane falls in the padding
        // [0 0 gravityForce ids]
        store4Aligned(&n.force.x, Rows::lane3From(keepLanes(broadcast<3>(velRow), laneMask4(false, false, true, false)),
                                                  forceRow));
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
