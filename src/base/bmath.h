// Numeric helpers of the library that are not part of the host-visible value types: the 3x3
// inverse, the cross-product shorthands, the exponential approximation, the order-preserving
// integer key of a float and the hexadecimal colour text.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "velkor/types.h"

namespace VadiZov {

// Nine floats in row order. Only the inverse is needed.
struct Matrix3 {
    float m00 = 0.0f, m01 = 0.0f, m02 = 0.0f;
    float m10 = 0.0f, m11 = 0.0f, m12 = 0.0f;
    float m20 = 0.0f, m21 = 0.0f, m22 = 0.0f;

    // Writes the inverse of in to out. No singular check: det 0 gives non-finite entries.
    static void inverse(Matrix3& out, const Matrix3& in);
};

// (a, b, c) with v = a * axis0 + b * axis1 + c * axis2, from the inverse of the matrix whose rows
// are the axes. Axes that span no volume give non-finite coefficients.
float3 coefficientsInAxes(const float3& axis0, const float3& axis1, const float3& axis2, const float3& v);

inline bool isFinite(const float3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// (p0 - p2) x (p1 - p2), not normalised.
inline float3 triangleNormal(const float3& p0, const float3& p1, const float3& p2)
{
    return (p0 - p2).cross(p1 - p2);
}

inline float3 crossProduct(const float3& a, const float3& b) { return a.cross(b); }

constexpr float kFastExpCeiling = 1e38f;
static_assert(std::bit_cast<uint32_t>(kFastExpCeiling) == 0x7E967699u);

// Bit-pattern approximation of e^x: 0 below -88, 1e38 above 88, -0 for NaN. Inline: the
// triangle step calls it three times per triangle.
inline float fastExp(float x)
{
    // NaN would pass both range tests and its integer conversion is undefined; the processor's
    // truncation yields 0x80000000, i.e. -0.0, so return that directly.
    if (std::isnan(x))
        return -0.0f;
    if (x < -88.0f)
        return 0.0f;
    if (x > 88.0f)
        return kFastExpCeiling;
    float v = x * 11903210.0f;
    v = v + 1065353216.0f;
    return std::bit_cast<float>(int32_t(v));
}

// out[i] := 1 / sqrt(in[i]) for in[i] > 0, else 0, four at a time. The square root and the
// division are exact IEEE operations, so every processor gives the same bits as approxRsqrt.
void reciprocalRoots(const float* in, float* out, int count);

// 1/sqrt(value), correctly rounded twice: the solver's forces use it, and results must be the
// same on every machine.
inline float portableRsqrt(float value) { return 1.0f / std::sqrt(value); }

// Reciprocal square root for the fast paths. The processors' estimate instructions give
// different bits from one maker to the next, so this is portableRsqrt: the same result on every
// machine.
inline float approxRsqrt(float value) { return portableRsqrt(value); }

// The float's bits as a signed integer, negatives mirrored, so that integer order equals float
// order and both zeros give 0.
constexpr int32_t sortableKey(float f)
{
    const uint32_t bits = std::bit_cast<uint32_t>(f);
    if ((bits & 0x80000000u) == 0)
        return int32_t(bits);
    return 0 - int32_t(bits & 0x7FFFFFFFu);
}

// "RRGGBB" in upper-case hexadecimal; alpha is not written.
std::string colorToHex(const color& c);
// Reads the text after its first character (the '#') as a base-16 long of 32 bits; alpha 255.
color colorFromHex(const char* text);

} // namespace VadiZov
