#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "float_bits.h"
#include "velkor/types.h"

using namespace VadiZov;
using VadiZov::test::bitsOf;
using VadiZov::test::sameBits;

namespace {
void expectNear(const float3& actual, const float3& expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}
} // namespace

TEST(Quaternion, DefaultIsIdentity)
{
    const Quaternion q;
    EXPECT_TRUE(sameBits(q, Quaternion(0.0f, 0.0f, 0.0f, 1.0f)));
    const float3 v(1.25f, -3.0f, 7.5f);
    EXPECT_TRUE(sameBits(q.rotateVector(v), v));
}

TEST(Quaternion, FromAngleInDegreesAndUnnormalisedAxis)
{
    const Quaternion q = Quaternion::fromAngleAxis(90.0f, float3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_FLOAT_EQ(q.z, 0.70710678f);
    EXPECT_FLOAT_EQ(q.w, 0.70710678f);

    // The axis length carries into the vector part: not a unit quaternion.
    Quaternion twice = Quaternion::fromAngleAxis(90.0f, float3(0.0f, 0.0f, 2.0f));
    EXPECT_FLOAT_EQ(twice.z, 2.0f * q.z);
    EXPECT_EQ(twice.w, q.w);
    EXPECT_FLOAT_EQ(twice.normalize(), 2.5f);
    EXPECT_FLOAT_EQ(twice.z * twice.z + twice.w * twice.w, 1.0f);
    EXPECT_FLOAT_EQ(twice.z, 2.0f * twice.w);
}

TEST(Quaternion, RotatesVectors)
{
    struct Case { float angle; float3 axis, in, out; };
    const float s = 0.57735026f;  // 1 / sqrt(3)
    const Case cases[] = {
        {90.0f, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},
        {-90.0f, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}},
        {180.0f, {1.0f, 0.0f, 0.0f}, {0.0f, 2.0f, 3.0f}, {0.0f, -2.0f, -3.0f}},
        {90.0f, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},
        {120.0f, {s, s, s}, {1.0f, 2.0f, 3.0f}, {3.0f, 1.0f, 2.0f}},  // cycles the axes
        {360.0f, {0.0f, 0.0f, 1.0f}, {4.0f, 5.0f, 6.0f}, {4.0f, 5.0f, 6.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        expectNear(Quaternion::fromAngleAxis(c.angle, c.axis).rotateVector(c.in), c.out, 2e-6f * 8.0f);
    }
}

TEST(Quaternion, RotationSumsInItsOwnOrder)
{
    // (t*w + u) + v, with t = 2 (q x v) and u = q x t; another grouping changes the y bits.
    const Quaternion q(0.1f, 0.2f, 0.3f, 0.9f);
    EXPECT_TRUE(sameBits(q.rotateVector(float3(1.7f, -2.3f, 0.4f)),
                         float3(0x1.49ba5ep+1f, -0x1.c18930p-1f, -0x1.ae1478p-1f)));
}

TEST(Quaternion, NormalizeReturnsSquaredNormInItsOwnOrder)
{
    // (x*x + w*w) first: the two tiny squares add up before meeting y*y, so the sum keeps them.
    const float tiny = 0x1p-12f;
    Quaternion q(tiny, 1.0f, 0.0f, tiny);
    EXPECT_EQ(bitsOf(q.normalize()), bitsOf(1.0f + 0x1p-23f));

    Quaternion r(0.0f, 3.0f, 0.0f, 4.0f);
    EXPECT_EQ(r.normalize(), 25.0f);
    EXPECT_TRUE(sameBits(r, Quaternion(0.0f, 0.6f, 0.0f, 0.8f)));

    Quaternion zero(0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(zero.normalize(), 0.0f);  // no guard
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z) && std::isnan(zero.w));
}

TEST(Quaternion, InverseIsConjugateOverSquaredNorm)
{
    struct Case { Quaternion in, out; };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {{0.0f, 0.0f, 0.0f, 2.0f}, {-0.0f, -0.0f, -0.0f, 0.5f}},
        {{0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}},
        {{nan, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 0.0f}},
        // f = -1/30 rounded once, then each component multiplied by it.
        {{1.0f, 2.0f, 3.0f, 4.0f}, {-0x1.111112p-5f, -0x1.111112p-4f, -0x1.99999cp-4f, 0x1.111112p-3f}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(sameBits(c.in.inverse(), c.out));

    const Quaternion q = Quaternion::fromAngleAxis(37.0f, float3(0.6f, 0.0f, 0.8f));
    const float3 v(1.0f, -2.0f, 0.5f);
    expectNear(q.inverse().rotateVector(q.rotateVector(v)), v, 1e-6f * 4.0f);
}
