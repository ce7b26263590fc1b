#include "base/bmath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/bsimd.h"

namespace VadiZov {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kPerpendicularEpsilon = 1e-12f;
static_assert(std::bit_cast<uint32_t>(kPerpendicularEpsilon) == 0x2B8CBCCCu);

constexpr size_t kTextBufferSize = 64;

// Removes the trailing zeros of one "%.3f" number written from start to len, and the point when
// nothing is left after it.
size_t trimNumber(const char* text, size_t start, size_t len)
{
    while (len > start && text[len - 1] == '0') {
        --len;
        if (len > start && text[len - 1] == '.') {
            --len;
            break;
        }
    }
    return len;
}

// "(a, b, ...)" with each number trimmed, cut at 63 characters into out. The full text is built
// on the stack first so that a cut never changes what the trimming sees.
const char* formatTuple(char (&out)[kTextBufferSize], const float* values, int count)
{
    // Four "%.3f" texts of the largest float (44 characters each) and the separators fit.
    char full[256];
    size_t len = 0;
    for (int i = 0; i < count; ++i) {
        const char* pattern = i == 0 ? "(%.3f" : ", %.3f";
        const size_t numberStart = len + (i == 0 ? 1 : 2);
        const int n = std::snprintf(full + len, sizeof full - len, pattern, double(values[i]));
        if (n < 0)
            break;
        len = std::min(len + size_t(n), sizeof full - 1);
        len = trimNumber(full, numberStart, len);
    }
    if (len + 1 < sizeof full)
        full[len++] = ')';
    const size_t kept = std::min(len, kTextBufferSize - 1);
    std::memcpy(out, full, kept);
    out[kept] = '\0';
    return out;
}

} // namespace

float3 float3::operator-() const { return float3(-x, -y, -z); }

float float3::length() const { return std::sqrt(squaredLength()); }

float float3::distance(const float3& b) const
{
    const float dx = x - b.x;
    const float dy = y - b.y;
    const float dz = z - b.z;
    const float d2 = (dx * dx + dy * dy) + dz * dz;
    // The estimate alone, not refined: callers want speed and accept ~12 bits.
    const float r = approxRsqrt(d2);
    return d2 * r;
}

void float3::normalize()
{
    const float f = 1.0f / std::sqrt(squaredLength());
    x *= f;
    y *= f;
    z *= f;
}

float3 float3::toRadians() const { return float3(x * kDegToRad, y * kDegToRad, z * kDegToRad); }

float3 float3::getPerpendicularVector() const
{
    // Full cross products, so non-finite input propagates as it would through any cross product.
    float3 c = cross(float3(1.0f, 0.0f, 0.0f));
    if (c.squaredLength() < kPerpendicularEpsilon)
        c = cross(float3(0.0f, 1.0f, 0.0f));
    c.normalize();
    return c;
}

const char* float3::toString() const
{
    thread_local char buffer[kTextBufferSize];
    const float values[3] = {x, y, z};
    return formatTuple(buffer, values, 3);
}

Quaternion Quaternion::fromAngleAxis(float angleDegrees, const float3& axis)
{
    const float h = angleDegrees * kDegToRad * 0.5f;
    const float s = std::sin(h);
    return Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(h));
}

float3 Quaternion::rotateVector(const float3& v) const
{
    const float3 q(x, y, z);
    const float3 t = q.cross(v) * 2.0f;
    const float3 u = q.cross(t);
    return (t * w + u) + v;
}

float Quaternion::normalize()
{
    const float sq = ((x * x + w * w) + y * y) + z * z;
    const float f = 1.0f / std::sqrt(sq);
    x *= f;
    y *= f;
    z *= f;
    w *= f;
    return sq;
}

Quaternion Quaternion::inverse() const
{
    const float sq = ((x * x + y * y) + z * z) + w * w;
    if (!(sq > 0.0f))
        return Quaternion(0.0f, 0.0f, 0.0f, 0.0f);  // zero or NaN norm
    const float f = -1.0f / sq;
    return Quaternion(x * f, y * f, z * f, -(w * f));
}

const char* Quaternion::toString() const
{
    thread_local char buffer[kTextBufferSize];
    const float values[4] = {w, x, y, z};
    return formatTuple(buffer, values, 4);
}

void Matrix3::inverse(Matrix3& out, const Matrix3& in)
{
    const float3 r0(in.m00, in.m01, in.m02);
    const float3 r1(in.m10, in.m11, in.m12);
    const float3 r2(in.m20, in.m21, in.m22);
    const float3 c0 = r1.cross(r2);
    const float det = (r0.y * c0.y + r0.x * c0.x) + r0.z * c0.z;
    const float k = 1.0f / det;
    const float3 col0 = c0 * k;
    const float3 col1 = r2.cross(r0) * k;
    const float3 col2 = r0.cross(r1) * k;
    // All reads of in are done, so out may even be the same matrix.
    out.m00 = col0.x; out.m01 = col1.x; out.m02 = col2.x;
    out.m10 = col0.y; out.m11 = col1.y; out.m12 = col2.y;
    out.m20 = col0.z; out.m21 = col1.z; out.m22 = col2.z;
}

float3 coefficientsInAxes(const float3& axis0, const float3& axis1, const float3& axis2, const float3& v)
{
    const Matrix3 rows{axis0.x, axis0.y, axis0.z, axis1.x, axis1.y, axis1.z, axis2.x, axis2.y, axis2.z};
    Matrix3 inv;
    Matrix3::inverse(inv, rows);
    // Coefficient k is column k of the inverse dotted with v.
    return float3(float3(inv.m00, inv.m10, inv.m20).dot(v), float3(inv.m01, inv.m11, inv.m21).dot(v),
                  float3(inv.m02, inv.m12, inv.m22).dot(v));
}

void reciprocalRoots(const float* in, float* out, int count)
{
    int i = 0;
#ifdef VELKOR_HAVE_SIMD
    // Four at a time, the same exact division and root as the loop below; a lane that is not
    // positive (NaN included) becomes +0 there as here.
    using namespace simd;
    const Float4 zero = splat4(0.0f);
    const Float4 one = splat4(1.0f);
    for (; i + 4 <= count; i += 4) {
        const Float4 x = load4(in + i);
        store4(out + i, keepLanes(div(one, sqrt(x)), greaterLanes(x, zero)));
    }
#endif
    for (; i < count; ++i)
        out[i] = in[i] > 0.0f ? approxRsqrt(in[i]) : 0.0f;
}

std::string colorToHex(const color& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", unsigned(c.r), unsigned(c.g), unsigned(c.b));
    return text;
}

color colorFromHex(const char* text)
{
    color c;
    c.a = 255;
    if (text == nullptr || text[0] == '\0')
        return c;  // nothing after the '#' to read: black
    // The value is a 32-bit long: out-of-range text saturates at the 32-bit limits.
    long long value = std::strtoll(text + 1, nullptr, 16);
    value = std::clamp<long long>(value, INT32_MIN, INT32_MAX);
    const uint32_t bits = uint32_t(int32_t(value));
    c.r = uint8_t(bits >> 16);
    c.g = uint8_t(bits >> 8);
    c.b = uint8_t(bits);
    return c;
}

} // namespace VadiZov
