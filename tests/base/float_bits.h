// Bit-exact comparison of floats for the math tests: tells -0 from 0 and matches NaN.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "velkor/types.h"

namespace VadiZov::test {

inline uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }

inline ::testing::AssertionResult sameBits(const float3& actual, const float3& expected)
{
    if (bitsOf(actual.x) == bitsOf(expected.x) && bitsOf(actual.y) == bitsOf(expected.y) &&
        bitsOf(actual.z) == bitsOf(expected.z))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << actual.x << ", " << actual.y << ", " << actual.z
                                         << ") expected (" << expected.x << ", " << expected.y << ", "
                                         << expected.z << ") bit for bit";
}

inline ::testing::AssertionResult sameBits(const Quaternion& actual, const Quaternion& expected)
{
    if (bitsOf(actual.x) == bitsOf(expected.x) && bitsOf(actual.y) == bitsOf(expected.y) &&
        bitsOf(actual.z) == bitsOf(expected.z) && bitsOf(actual.w) == bitsOf(expected.w))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << actual.x << ", " << actual.y << ", " << actual.z << ", "
                                         << actual.w << ") expected (" << expected.x << ", " << expected.y
                                         << ", " << expected.z << ", " << expected.w << ") bit for bit";
}

} // namespace VadiZov::test
