#include <gtest/gtest.h>

#include <limits>

#include "base/bmath.h"
#include "float_bits.h"

using namespace VadiZov;
using VadiZov::test::bitsOf;

TEST(FastExp, ValuesBitForBit)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { float x; uint32_t bits; };
    const Case cases[] = {
        {0.0f, 0x3F800000u},   // exactly 1.0
        {-0.0f, 0x3F800000u},
        {1.0f, 0x4035A100u},   // 2.83795166
        {-1.0f, 0x3ECA5F00u},  // 0.39525604
        {0.5f, 0x3FDAD080u},
        {88.0f, 0x7DEF5080u},  // the ends of the range still use the formula
        {-88.0f, 0x0110AF80u},
        {-88.5f, 0x00000000u},
        {-inf, 0x00000000u},
        {89.0f, 0x7E967699u},  // 1e38
        {inf, 0x7E967699u},
        {std::numeric_limits<float>::quiet_NaN(), 0x80000000u},  // -0.0
    };
    for (const Case& c : cases)
        EXPECT_EQ(bitsOf(fastExp(c.x)), c.bits) << "x = " << c.x;
    EXPECT_EQ(fastExp(1.0f), 2.83795166f);
    EXPECT_EQ(fastExp(-1.0f), 0.39525604f);
    EXPECT_EQ(fastExp(89.0f), 1e38f);
}

TEST(FastExp, NeverDecreasesAcrossTheRange)
{
    float previous = fastExp(-90.0f);
    for (float x = -90.0f; x <= 90.0f; x += 0.01f) {
        const float y = fastExp(x);
        ASSERT_GE(y, previous) << "x = " << x;
        previous = y;
    }
}
