// The batch kernels of the normal beam law; see bbeam_batch.h.
#include "solver/bbeam_batch.h"
#include "base/bconstants.h"

#include <cmath>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELKOR_HAVE_AVX2_KERNEL 1
#endif

namespace VadiZov {

namespace {

inline bool followsNormalLaw(int type) { return unsigned(type - BEAM_ANISOTROPIC) > unsigned(BEAM_BROKEN - BEAM_ANISOTROPIC); }

void batchPortable(const NodeCore* nodes, const BeamCore* beams, int first, int count, BeamBatch& out)
{
    for (int i = first; i < count; ++i) {
        const BeamCore& beam = beams[i];
        if (!followsNormalLaw(beam.type)) {
            out.plain[i] = 0;
            continue;
        }
        const NodeCore& a = nodes[beam.node1];
        const NodeCore& c = nodes[beam.node2];
        const float dx = a.pos.x - c.pos.x;
        const float dy = a.pos.y - c.pos.y;
        const float dz = a.pos.z - c.pos.z;
        const float len = std::sqrt((dx * dx + dy * dy) + dz * dz);
        const float invLen = 1.0f / (len + kLengthEpsilon);
        const float L = len - beam.restLength;
        const float u = (((c.vel.x - a.vel.x) * dx + (c.vel.y - a.vel.y) * dy) + (c.vel.z - a.vel.z) * dz) * invLen;
        const float h = beam.damp * u - beam.spring * L;
        out.plain[i] = !(std::fabs(h) > beam.limitForce);
        const float f = h * invLen;
        out.fx[i] = f * dx;
        out.fy[i] = f * dy;
        out.fz[i] = f * dz;
    }
}

} // namespace

void beamBatchPortable(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out)
{
    batchPortable(nodes, beams, 0, count, out);
}

#ifdef VELKOR_HAVE_AVX2_KERNEL

// The AVX2 kernel reads four consecutive floats at once: pos.xyz (+ vel.x), vel.xyz (+ force.x)
// and restLength, spring, damp, limitForce. The extra lane is never used.
static_assert(sizeof(float3) == 12);
static_assert(offsetof(NodeCore, vel) == offsetof(NodeCore, pos) + 12);
static_assert(offsetof(NodeCore, vel) + 16 <= sizeof(NodeCore));
static_assert(offsetof(BeamCore, spring) == offsetof(BeamCore, restLength) + 4);
static_assert(offsetof(BeamCore, damp) == offsetof(BeamCore, restLength) + 8);
static_assert(offsetof(BeamCore, limitForce) == offsetof(BeamCore, restLength) + 12);
static_assert(offsetof(BeamCore, limitForce) + 4 <= sizeof(BeamCore));

namespace {

__attribute__((target("avx2"))) inline __m128 load4(const void* p, size_t offset)
{
    return _mm_loadu_ps(reinterpret_cast<const float*>(static_cast<const char*>(p) + offset));
}

// Eight four-lane rows (row j: beam j) to four eight-lane columns (lane j: beam j).
__attribute__((target("avx2"))) inline void transpose8x4(const __m128* r, __m256& x, __m256& y, __m256& z, __m256& w)
{
    const __m256 r0 = _mm256_insertf128_ps(_mm256_castps128_ps256(r[0]), r[4], 1);
    const __m256 r1 = _mm256_insertf128_ps(_mm256_castps128_ps256(r[1]), r[5], 1);
    const __m256 r2 = _mm256_insertf128_ps(_mm256_castps128_ps256(r[2]), r[6], 1);
    const __m256 r3 = _mm256_insertf128_ps(_mm256_castps128_ps256(r[3]), r[7], 1);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t2 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    x = _mm256_shuffle_ps(t0, t1, 0x44);
    y = _mm256_shuffle_ps(t0, t1, 0xEE);
    z = _mm256_shuffle_ps(t2, t3, 0x44);
    w = _mm256_shuffle_ps(t2, t3, 0xEE);
}

} // namespace

__attribute__((target("avx2"))) void beamBatchAvx2(const NodeCore* nodes, const BeamCore* beams, int count,
                                                    BeamBatch& out)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 epsilon = _mm256_set1_ps(kLengthEpsilon);
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128 dp[8], dv[8], law[8];
        int normal = 0;
        for (int j = 0; j < 8; ++j) {
            const BeamCore& beam = beams[i + j];
            const bool isNormal = followsNormalLaw(beam.type);
            // Other beams' results are discarded; node 0 keeps their reads in bounds.
            const NodeCore& a = nodes[isNormal ? beam.node1 : 0];
            const NodeCore& c = nodes[isNormal ? beam.node2 : 0];
            dp[j] = _mm_sub_ps(load4(&a, offsetof(NodeCore, pos)), load4(&c, offsetof(NodeCore, pos)));
            dv[j] = _mm_sub_ps(load4(&c, offsetof(NodeCore, vel)), load4(&a, offsetof(NodeCore, vel)));
            law[j] = load4(&beam, offsetof(BeamCore, restLength));
            normal |= int(isNormal) << j;
        }
        __m256 dx, dy, dz, dvx, dvy, dvz, rest, spring, damp, limit, unused;
        transpose8x4(dp, dx, dy, dz, unused);
        transpose8x4(dv, dvx, dvy, dvz, unused);
        transpose8x4(law, rest, spring, damp, limit);

        const __m256 len = _mm256_sqrt_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)), _mm256_mul_ps(dz, dz)));
        const __m256 invLen = _mm256_div_ps(one, _mm256_add_ps(len, epsilon));
        const __m256 L = _mm256_sub_ps(len, rest);
        const __m256 dot =
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dvx, dx), _mm256_mul_ps(dvy, dy)), _mm256_mul_ps(dvz, dz));
        const __m256 u = _mm256_mul_ps(dot, invLen);
        const __m256 h = _mm256_sub_ps(_mm256_mul_ps(damp, u), _mm256_mul_ps(spring, L));
        const int over = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_and_ps(h, absMask), limit, _CMP_GT_OQ));
        const int plain = normal & ~over;
        const __m256 f = _mm256_mul_ps(h, invLen);
        _mm256_storeu_ps(out.fx + i, _mm256_mul_ps(f, dx));
        _mm256_storeu_ps(out.fy + i, _mm256_mul_ps(f, dy));
        _mm256_storeu_ps(out.fz + i, _mm256_mul_ps(f, dz));
        for (int j = 0; j < 8; ++j)
            out.plain[i + j] = uint8_t((plain >> j) & 1);
    }
    batchPortable(nodes, beams, i, count, out);
}

#else

void beamBatchAvx2(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out)
{
    beamBatchPortable(nodes, beams, count, out);
}

#endif

bool beamKernelSupported(BeamKernel kernel)
{
    if (kernel == BeamKernel::Portable)
        return true;
#ifdef VELKOR_HAVE_AVX2_KERNEL
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

BeamKernel bestBeamKernel()
{
    static const BeamKernel best =
        beamKernelSupported(BeamKernel::Avx2) ? BeamKernel::Avx2 : BeamKernel::Portable;
    return best;
}

} // namespace VadiZov
