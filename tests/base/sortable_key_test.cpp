#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "base/bmath.h"

using namespace VadiZov;

TEST(SortableKey, KnownKeys)
{
    EXPECT_EQ(sortableKey(0.0f), 0);
    EXPECT_EQ(sortableKey(-0.0f), 0);
    EXPECT_EQ(sortableKey(1.0f), 0x3F800000);
    EXPECT_EQ(sortableKey(-1.0f), -0x3F800000);
    EXPECT_EQ(sortableKey(std::numeric_limits<float>::denorm_min()), 1);
    EXPECT_EQ(sortableKey(-std::numeric_limits<float>::denorm_min()), -1);
    EXPECT_EQ(sortableKey(-std::numeric_limits<float>::infinity()), -0x7F800000);
}

TEST(SortableKey, IntegerOrderEqualsFloatOrder)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float big = std::numeric_limits<float>::max();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float least = std::numeric_limits<float>::min();
    const std::vector<float> values = {-inf, -big, -1e20f, -2.0f, -1.0f, -0.5f, -least, -tiny, -0.0f,
                                       0.0f, tiny, least, 1e-30f, 0.5f, 1.0f, 1.0000001f, 3e9f, big, inf};
    for (size_t i = 0; i < values.size(); ++i)
        for (size_t j = 0; j < values.size(); ++j) {
            const float a = values[i], b = values[j];
            EXPECT_EQ(a < b, sortableKey(a) < sortableKey(b)) << a << " vs " << b;
            EXPECT_EQ(a == b, sortableKey(a) == sortableKey(b)) << a << " vs " << b;
        }
}
