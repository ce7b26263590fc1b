#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/bmath.h"
#include "float_bits.h"

using namespace VadiZov;
using VadiZov::test::sameBits;

namespace {
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

bool allNaN(const float3& v) { return std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z); }
} // namespace

TEST(Float3, ArithmeticIsComponentWise)
{
    const float3 a(2.0f, 3.0f, 4.0f);
    const float3 b(0.5f, 2.0f, -1.0f);
    EXPECT_TRUE(sameBits(a + b, float3(2.5f, 5.0f, 3.0f)));
    EXPECT_TRUE(sameBits(a - b, float3(1.5f, 1.0f, 5.0f)));
    EXPECT_TRUE(sameBits(a * b, float3(1.0f, 6.0f, -4.0f)));
    EXPECT_TRUE(sameBits(a / b, float3(4.0f, 1.5f, -4.0f)));
    EXPECT_TRUE(sameBits(a.scaleCopy(-2.0f), float3(-4.0f, -6.0f, -8.0f)));
    float3 s = a;
    s.scale(0.25f);
    EXPECT_TRUE(sameBits(s, float3(0.5f, 0.75f, 1.0f)));
    // Subtracting a value from itself gives positive zeros.
    EXPECT_TRUE(sameBits(a - a, float3(0.0f, 0.0f, 0.0f)));
}

TEST(Float3, NegationFlipsEverySignBit)
{
    struct Case { float3 in, out; };
    const Case cases[] = {
        {{0.0f, 1.0f, -2.0f}, {-0.0f, -1.0f, 2.0f}},
        {{-0.0f, kInf, -kInf}, {0.0f, -kInf, kInf}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(sameBits(-c.in, c.out));
    const float3 n = -float3(kNaN, 0.0f, 0.0f);
    EXPECT_TRUE(std::isnan(n.x));
    EXPECT_TRUE(std::signbit(n.x));
}

TEST(Float3, LengthUsesExactSinglePrecisionRoot)
{
    EXPECT_EQ(float3(3.0f, 4.0f, 12.0f).length(), 13.0f);
    EXPECT_EQ(float3(0.0f, -5.0f, 0.0f).length(), 5.0f);
    // The squares overflow in single precision; a double computation would give 1.4e20.
    EXPECT_EQ(float3(1e20f, 1e20f, 0.0f).length(), kInf);
}

TEST(Float3, DistanceIsNearlyExactOnEveryMachine)
{
    const float3 origin(0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(origin.distance(float3(3.0f, 4.0f, 0.0f)), 5.0f, 0.002f);
    EXPECT_NEAR(float3(1.0f, 1.0f, 1.0f).distance(float3(-1.0f, 1.0f, 1.0f)), 2.0f, 0.001f);

    // The reciprocal root is the rounded root and one division, not a processor estimate
    // (whose bits differ between makers and whose error reaches 2^-12): a few units in the
    // last place from the exact length everywhere.
    for (int i = 1; i <= 200; ++i) {
        const float3 p(float(i) * 0.37f, float(i % 7) - 3.0f, 1.0f / float(i));
        const float exact = p.length();
        EXPECT_LE(std::fabs(origin.distance(p) - exact), exact * 0x1p-21f) << "point " << i;
    }
}

TEST(Float3, ReciprocalRootsFourAtATimeMatchTheScalarBits)
{
    using VadiZov::test::bitsOf;
    // Seven values: a group of four and a scalar tail of three, zero and below giving 0.
    const float in[] = {4.0f, 2.0f, 1e-30f, 3.0e38f, 0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()};
    float out[7];
    reciprocalRoots(in, out, 7);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bitsOf(out[i]), bitsOf(approxRsqrt(in[i]))) << in[i];
    EXPECT_EQ(out[0], 0.5f);
    for (int i = 4; i < 7; ++i)
        EXPECT_EQ(bitsOf(out[i]), bitsOf(0.0f)) << in[i];
    float group[4];
    reciprocalRoots(in + 3, group, 4);  // the same values through the four-wide path
    EXPECT_EQ(bitsOf(group[0]), bitsOf(out[3]));
    EXPECT_EQ(bitsOf(group[1]), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(group[3]), bitsOf(0.0f));
}

TEST(Float3, DistanceBetweenEqualPointsIsNaN)
{
    const float3 p(1.5f, -2.0f, 7.0f);
    EXPECT_TRUE(std::isnan(p.distance(p)));
}

TEST(Float3, NormalizeInPlace)
{
    float3 v(0.0f, 0.0f, -8.0f);
    v.normalize();
    EXPECT_TRUE(sameBits(v, float3(0.0f, 0.0f, -1.0f)));

    float3 w(3.0f, 4.0f, 12.0f);
    w.normalize();
    EXPECT_FLOAT_EQ(w.x, 3.0f / 13.0f);
    EXPECT_FLOAT_EQ(w.y, 4.0f / 13.0f);
    EXPECT_FLOAT_EQ(w.z, 12.0f / 13.0f);

    float3 zero;
    zero.normalize();  // no guard
    EXPECT_TRUE(allNaN(zero));
}

TEST(Float3, ToRadiansUsesTheSinglePrecisionFactor)
{
    const float3 r = float3(180.0f, 90.0f, 0.0f).toRadians();
    EXPECT_EQ(r.x, 3.14159274f);  // rounds to the float nearest pi
    EXPECT_EQ(r.y, 1.57079637f);
    EXPECT_TRUE(sameBits(float3(0.0f, -0.0f, 0.0f).toRadians(), float3(0.0f, -0.0f, 0.0f)));
}

TEST(Float3, PerpendicularVector)
{
    struct Case { float3 in, out; };
    const Case cases[] = {
        {{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},    // parallel to x: second axis
        {{-3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}},
        {{0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}},
        {{0.0f, 0x1p-19f, 0.0f}, {0.0f, 0.0f, -1.0f}},  // squared length 3.6e-12: first axis kept
        {{0x1p-24f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(sameBits(c.in.getPerpendicularVector(), c.out)) << c.in.toString();

    // Below the 1e-12 threshold the second axis is used, which is zero for a y-only vector.
    EXPECT_TRUE(allNaN(float3(0.0f, 0x1p-20f, 0.0f).getPerpendicularVector()));  // 9.1e-13
    EXPECT_TRUE(allNaN(float3(0.0f, 0.0f, 0.0f).getPerpendicularVector()));

    const float3 v(0.3f, -1.7f, 2.2f);
    const float3 p = v.getPerpendicularVector();
    EXPECT_NEAR(p.dot(v), 0.0f, 1e-6f);
    EXPECT_NEAR(p.length(), 1.0f, 1e-6f);
}

TEST(Float3, CrossProductHelpers)
{
    const float3 x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f);
    EXPECT_TRUE(sameBits(crossProduct(x, y), float3(0.0f, 0.0f, 1.0f)));
    EXPECT_TRUE(sameBits(crossProduct(y, x), float3(0.0f, 0.0f, -1.0f)));
    EXPECT_TRUE(sameBits(crossProduct(float3(2.0f, 3.0f, 4.0f), float3(5.0f, 6.0f, 7.0f)),
                         float3(-3.0f, 6.0f, -3.0f)));

    // Edges from p2, not normalised; the winding decides the direction.
    const float3 p0(3.0f, 1.0f, 1.0f), p1(1.0f, 3.0f, 1.0f), p2(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(sameBits(triangleNormal(p0, p1, p2), float3(0.0f, 0.0f, 4.0f)));
    EXPECT_TRUE(sameBits(triangleNormal(p1, p0, p2), float3(0.0f, 0.0f, -4.0f)));
}
