// The one place that picks the instruction set of the hot kernels, and the few wide operations
// they are written over. SSE2 is part of x86-64; AVX2 is chosen at run time, after one cached
// CPU check, by functions marked VELKOR_AVX2. Every operation here is exact IEEE arithmetic or a
// pure lane move, so a kernel built on them gives the bits of the plain loop it mirrors.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#define VELKOR_HAVE_SIMD 1
#define VELKOR_AVX2 __attribute__((target("avx2")))
#endif

namespace VadiZov {

enum class SimdKernel { Scalar, Sse2, Avx2 };

bool simdKernelSupported(SimdKernel kernel);
// The widest kernel this CPU runs, checked once.
SimdKernel bestSimdKernel();

#ifdef VELKOR_HAVE_SIMD
namespace simd {

// Four lanes. A Float4 read from a float3 field takes the next field's first float as lane 3:
// the kernels compute that lane but never store it alone.
using Float4 = __m128;

inline Float4 load4(const float* p) { return _mm_loadu_ps(p); }
inline void store4(float* p, Float4 v) { _mm_storeu_ps(p, v); }
inline Float4 splat4(float x) { return _mm_set1_ps(x); }
inline Float4 make4(float x, float y, float z, float w) { return _mm_setr_ps(x, y, z, w); }
inline Float4 add(Float4 a, Float4 b) { return _mm_add_ps(a, b); }
inline Float4 sub(Float4 a, Float4 b) { return _mm_sub_ps(a, b); }
inline Float4 mul(Float4 a, Float4 b) { return _mm_mul_ps(a, b); }
inline Float4 div(Float4 a, Float4 b) { return _mm_div_ps(a, b); }
inline Float4 sqrt(Float4 a) { return _mm_sqrt_ps(a); }
// All bits of a lane set where a[j] > b[j] (clear for NaN, as the scalar comparison).
inline Float4 greaterLanes(Float4 a, Float4 b) { return _mm_cmpgt_ps(a, b); }
inline Float4 load4Aligned(const float* p) { return _mm_load_ps(p); }
inline void store4Aligned(float* p, Float4 v) { _mm_store_ps(p, v); }
// Lanes 0 to 2 only, for a float3 followed by another field.
inline void store3(float* p, Float4 v)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
    _mm_store_ss(p + 2, _mm_movehl_ps(v, v));
}
// p[0..2] += (x, y, z), then q[0..2] -= (x, y, z): x and y as one pair of lanes and z alone,
// the very roundings of the six scalar operations with two stores per side instead of three.
inline void addThenSubtract3(float* p, float* q, float x, float y, float z)
{
    const Float4 xy = _mm_unpacklo_ps(_mm_set_ss(x), _mm_set_ss(y));
    const Float4 z1 = _mm_set_ss(z);
    __m64* const pxy = reinterpret_cast<__m64*>(p);
    _mm_storel_pi(pxy, _mm_add_ps(_mm_loadl_pi(_mm_setzero_ps(), pxy), xy));
    _mm_store_ss(p + 2, _mm_add_ss(_mm_load_ss(p + 2), z1));
    __m64* const qxy = reinterpret_cast<__m64*>(q);
    _mm_storel_pi(qxy, _mm_sub_ps(_mm_loadl_pi(_mm_setzero_ps(), qxy), xy));
    _mm_store_ss(q + 2, _mm_sub_ss(_mm_load_ss(q + 2), z1));
}
// Lane `lane` of v in every lane.
template <int lane>
inline Float4 broadcast(Float4 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(lane, lane, lane, lane));
}
// Lanes where `keep` has bits set come from v, the others are +0.
inline Float4 keepLanes(Float4 v, Float4 keep) { return _mm_and_ps(v, keep); }
inline Float4 laneMask4(bool l0, bool l1, bool l2, bool l3)
{
    return _mm_castsi128_ps(_mm_setr_epi32(-int(l0), -int(l1), -int(l2), -int(l3)));
}

// Lanes 0 to 2 of a with lane 3 of b: SSE2 with masks, an AVX2 kernel with one blend.
inline Float4 withLane3Of(Float4 a, Float4 b)
{
    const Float4 last = laneMask4(false, false, false, true);
    return _mm_or_ps(_mm_andnot_ps(last, a), _mm_and_ps(last, b));
}
VELKOR_AVX2 inline Float4 withLane3OfBlend(Float4 a, Float4 b) { return _mm_blend_ps(a, b, 0x8); }

// Four signed 32-bit integer lanes (SSE2), for comparisons of sortable keys.
using Int4 = __m128i;

inline Int4 load4i(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline Int4 splat4i(int32_t x) { return _mm_set1_epi32(x); }
// All bits of a lane set where a[j] > b[j].
inline Int4 greater(Int4 a, Int4 b) { return _mm_cmpgt_epi32(a, b); }
inline Int4 either(Int4 a, Int4 b) { return _mm_or_si128(a, b); }
// Bit j set where lane j has its top bit set.
inline int laneBits(Int4 v) { return _mm_movemask_ps(_mm_castsi128_ps(v)); }

// Eight signed 32-bit integer lanes (AVX2).
using Int8 = __m256i;

VELKOR_AVX2 inline Int8 load8i(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
VELKOR_AVX2 inline Int8 splat8i(int32_t x) { return _mm256_set1_epi32(x); }
VELKOR_AVX2 inline Int8 greater(Int8 a, Int8 b) { return _mm256_cmpgt_epi32(a, b); }
VELKOR_AVX2 inline Int8 either(Int8 a, Int8 b) { return _mm256_or_si256(a, b); }
VELKOR_AVX2 inline int laneBits(Int8 v) { return _mm256_movemask_ps(_mm256_castsi256_ps(v)); }

// Eight lanes, lane j holding item j of a batch.
using Float8 = __m256;

VELKOR_AVX2 inline Float8 splat8(float x) { return _mm256_set1_ps(x); }
VELKOR_AVX2 inline void store8(float* p, Float8 v) { _mm256_storeu_ps(p, v); }
VELKOR_AVX2 inline void store8Aligned(float* p, Float8 v) { _mm256_store_ps(p, v); }
VELKOR_AVX2 inline Float8 load8(const float* p) { return _mm256_loadu_ps(p); }
// [a.low b.high]
VELKOR_AVX2 inline Float8 lowOfAHighOfB(Float8 a, Float8 b) { return _mm256_blend_ps(a, b, 0xF0); }
// [a.low b.low] and [a.high b.high]
VELKOR_AVX2 inline Float8 joinLows(Float8 a, Float8 b) { return _mm256_permute2f128_ps(a, b, 0x20); }
VELKOR_AVX2 inline Float8 joinHighs(Float8 a, Float8 b) { return _mm256_permute2f128_ps(a, b, 0x31); }
VELKOR_AVX2 inline Float8 add(Float8 a, Float8 b) { return _mm256_add_ps(a, b); }
VELKOR_AVX2 inline Float8 sub(Float8 a, Float8 b) { return _mm256_sub_ps(a, b); }
VELKOR_AVX2 inline Float8 mul(Float8 a, Float8 b) { return _mm256_mul_ps(a, b); }
VELKOR_AVX2 inline Float8 div(Float8 a, Float8 b) { return _mm256_div_ps(a, b); }
VELKOR_AVX2 inline Float8 sqrt(Float8 a) { return _mm256_sqrt_ps(a); }
VELKOR_AVX2 inline Float8 abs(Float8 a) { return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))); }
// Bit j set where a[j] > b[j] (false for NaN, as the scalar comparison).
VELKOR_AVX2 inline int greaterMask(Float8 a, Float8 b) { return _mm256_movemask_ps(_mm256_cmp_ps(a, b, _CMP_GT_OQ)); }
// Bit j set where a[j] <= b[j] (false for NaN).
VELKOR_AVX2 inline int lessOrEqualMask(Float8 a, Float8 b)
{
    return _mm256_movemask_ps(_mm256_cmp_ps(a, b, _CMP_LE_OQ));
}

// -a exactly: only the sign bit flips, as the scalar unary minus.
VELKOR_AVX2 inline Float8 negate(Float8 a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }

// Three eight-lane columns to eight rows [x y z 0] (row j: item j), the reverse of transpose.
// Rows come in pairs: pairs[k] holds row k in its low half and row k + 4 in its high half.
VELKOR_AVX2 inline void toRows(Float8 x, Float8 y, Float8 z, Float8 (&pairs)[4])
{
    const __m256 zero = _mm256_setzero_ps();
    const __m256 t0 = _mm256_unpacklo_ps(x, y);
    const __m256 t1 = _mm256_unpackhi_ps(x, y);
    const __m256 t2 = _mm256_unpacklo_ps(z, zero);
    const __m256 t3 = _mm256_unpackhi_ps(z, zero);
    pairs[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    pairs[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
    pairs[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    pairs[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// Eight eight-lane rows (row j: item j) to the columns 0 to 2 and 4 to 6 (lane j: item j).
VELKOR_AVX2 inline void transposeSix(const Float8 (&rows)[8], Float8& c0, Float8& c1, Float8& c2, Float8& c4, Float8& c5,
                                     Float8& c6)
{
    const __m256 t0 = _mm256_unpacklo_ps(rows[0], rows[1]);
    const __m256 t1 = _mm256_unpackhi_ps(rows[0], rows[1]);
    const __m256 t2 = _mm256_unpacklo_ps(rows[2], rows[3]);
    const __m256 t3 = _mm256_unpackhi_ps(rows[2], rows[3]);
    const __m256 t4 = _mm256_unpacklo_ps(rows[4], rows[5]);
    const __m256 t5 = _mm256_unpackhi_ps(rows[4], rows[5]);
    const __m256 t6 = _mm256_unpacklo_ps(rows[6], rows[7]);
    const __m256 t7 = _mm256_unpackhi_ps(rows[6], rows[7]);
    const __m256 x03 = _mm256_shuffle_ps(t0, t2, 0x44);  // [c0 of rows 0-3 | c4 of rows 0-3]
    const __m256 y03 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 z03 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 x47 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 y47 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 z47 = _mm256_shuffle_ps(t5, t7, 0x44);
    c0 = _mm256_permute2f128_ps(x03, x47, 0x20);
    c4 = _mm256_permute2f128_ps(x03, x47, 0x31);
    c1 = _mm256_permute2f128_ps(y03, y47, 0x20);
    c5 = _mm256_permute2f128_ps(y03, y47, 0x31);
    c2 = _mm256_permute2f128_ps(z03, z47, 0x20);
    c6 = _mm256_permute2f128_ps(z03, z47, 0x31);
}

// Eight four-lane rows (row j: item j) to four eight-lane columns (lane j: item j). With
// load4 of one field per item this gathers a field of eight records picked by index.
VELKOR_AVX2 inline void transpose(const Float4 (&rows)[8], Float8& x, Float8& y, Float8& z, Float8& w)
{
    const __m256 r0 = _mm256_insertf128_ps(_mm256_castps128_ps256(rows[0]), rows[4], 1);
    const __m256 r1 = _mm256_insertf128_ps(_mm256_castps128_ps256(rows[1]), rows[5], 1);
    const __m256 r2 = _mm256_insertf128_ps(_mm256_castps128_ps256(rows[2]), rows[6], 1);
    const __m256 r3 = _mm256_insertf128_ps(_mm256_castps128_ps256(rows[3]), rows[7], 1);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t2 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    x = _mm256_shuffle_ps(t0, t1, 0x44);
    y = _mm256_shuffle_ps(t0, t1, 0xEE);
    z = _mm256_shuffle_ps(t2, t3, 0x44);
    w = _mm256_shuffle_ps(t2, t3, 0xEE);
}

} // namespace simd
#endif

} // namespace VadiZov
