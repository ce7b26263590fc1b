// The batch kernels of the normal beam law; see bbeam_batch.h.
#include "solver/bbeam_batch.h"
#include "base/bconstants.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "base/bsimd.h"

namespace VadiZov {

namespace {

inline bool followsNormalLaw(int type) { return unsigned(type - BEAM_ANISOTROPIC) > unsigned(BEAM_BROKEN - BEAM_ANISOTROPIC); }
// An anisotropic beam that is not stretched (L <= 0) follows the normal law too.
inline bool mayFollowNormalLaw(int type) { return followsNormalLaw(type) || type == BEAM_ANISOTROPIC; }

void batchPortable(const NodeCore* nodes, const BeamCore* beams, int first, int count, BeamBatch& out,
                   BeamForce* forces)
{
    for (int i = first; i < count; ++i) {
        const BeamCore& beam = beams[i];
        if (!mayFollowNormalLaw(beam.type)) {
            out.plain[i] = 0;
            continue;
        }
        const BeamMotion m = beamMotion(nodes[beam.node1], nodes[beam.node2], beam.restLength);
        const float h = normalLaw(beam, m);
        out.plain[i] = !(std::fabs(h) > beam.limitForce) && (beam.type != BEAM_ANISOTROPIC || m.L <= 0.0f);
        const float f = h * m.invLen;
        out.fx[i] = f * m.dx;
        out.fy[i] = f * m.dy;
        out.fz[i] = f * m.dz;
        if (forces)
            forces[i] = beamForce(out.fx[i], out.fy[i], out.fz[i]);
    }
}

} // namespace

void beamBatchPortable(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out,
                       BeamForce* forces)
{
    batchPortable(nodes, beams, 0, count, out, forces);
}

#ifdef VELKOR_HAVE_SIMD

// The AVX2 kernel reads a node as one aligned row [pos.xyz dtOverMass vel.xyz gravityForce]
// and restLength, spring, damp, limitForce as four floats. Lanes 3 and 7 are never used.
static_assert(sizeof(float3) == 12);
static_assert(offsetof(NodeCore, pos) == 0 && offsetof(NodeCore, vel) == 16 && alignof(NodeCore) % 16 == 0);
static_assert(offsetof(BeamCore, spring) == offsetof(BeamCore, restLength) + 4);
static_assert(offsetof(BeamCore, damp) == offsetof(BeamCore, restLength) + 8);
static_assert(offsetof(BeamCore, limitForce) == offsetof(BeamCore, restLength) + 12);
static_assert(offsetof(BeamCore, limitForce) + 4 <= sizeof(BeamCore));

// Byte j of bytes[m] is bit j of m.
struct BitBytes {
    uint64_t bytes[256];
    constexpr BitBytes() : bytes()
    {
        for (int m = 0; m < 256; ++m)
            for (int j = 0; j < 8; ++j)
                bytes[m] |= uint64_t((m >> j) & 1) << (8 * j);
    }
};
constexpr BitBytes kBitBytes;

// Eight beams' forces and their negations, as BeamForce records.
VELKOR_AVX2 inline void storeForces(BeamForce* out, simd::Float8 fx, simd::Float8 fy, simd::Float8 fz)
{
    using namespace simd;
    static_assert(sizeof(BeamForce) == 32 && alignof(BeamForce) == 32);
    Float8 pairs[4];
    toRows(fx, fy, fz, pairs);
    for (int k = 0; k < 4; ++k) {
        const Float8 minus = negate(pairs[k]);
        store8Aligned(&out[k].plus.x, joinLows(pairs[k], minus));
        store8Aligned(&out[k + 4].plus.x, joinHighs(pairs[k], minus));
    }
}

VELKOR_AVX2 void beamBatchAvx2(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out,
                               BeamForce* forces)
{
    using namespace simd;
    const Float8 one = splat8(1.0f);
    const Float8 epsilon = splat8(kLengthEpsilon);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        Float8 rows[8];
        Float4 law[8];
        int normal = 0, anisotropic = 0;
        for (int j = 0; j < 8; ++j) {
            const BeamCore& beam = beams[i + j];
            // Every beam's nodes are in the array; other beams' results are discarded.
            const Float8 a = load8(&nodes[beam.node1].pos.x);
            const Float8 c = load8(&nodes[beam.node2].pos.x);
            rows[j] = lowOfAHighOfB(sub(a, c), sub(c, a));  // [a.pos - c.pos | c.vel - a.vel]
            law[j] = load4(&beam.restLength);
            normal |= int(followsNormalLaw(beam.type)) << j;
            anisotropic |= int(beam.type == BEAM_ANISOTROPIC) << j;
        }
        Float8 dx, dy, dz, dvx, dvy, dvz, rest, spring, damp, limit;
        transposeSix(rows, dx, dy, dz, dvx, dvy, dvz);
        transpose(law, rest, spring, damp, limit);

        const Float8 len = sqrt(add(add(mul(dx, dx), mul(dy, dy)), mul(dz, dz)));
        const Float8 invLen = div(one, add(len, epsilon));
        const Float8 L = sub(len, rest);
        const Float8 dot = add(add(mul(dvx, dx), mul(dvy, dy)), mul(dvz, dz));
        const Float8 u = mul(dot, invLen);
        const Float8 h = sub(mul(damp, u), mul(spring, L));
        const int lawful = normal | (anisotropic & lessOrEqualMask(L, splat8(0.0f)));
        const int plain = lawful & ~greaterMask(abs(h), limit);
        const Float8 f = mul(h, invLen);
        const Float8 fx = mul(f, dx), fy = mul(f, dy), fz = mul(f, dz);
        if (forces) {
            storeForces(forces + i, fx, fy, fz);
        } else {
            store8(out.fx + i, fx);
            store8(out.fy + i, fy);
            store8(out.fz + i, fz);
        }
        std::memcpy(out.plain + i, &kBitBytes.bytes[plain], 8);
    }
    batchPortable(nodes, beams, i, count, out, forces);
}

#else

void beamBatchAvx2(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out, BeamForce* forces)
{
    beamBatchPortable(nodes, beams, count, out, forces);
}

#endif

} // namespace VadiZov
