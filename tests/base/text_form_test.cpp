#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "velkor/types.h"

using namespace VadiZov;

TEST(TextForm, Float3TrimsEachNumber)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { float3 v; const char* text; };
    const Case cases[] = {
        {{1.0f, 2.25f, -3.0f}, "(1, 2.25, -3)"},
        {{0.5f, -1.25f, 100.0f}, "(0.5, -1.25, 100)"},
        {{0.0f, 0.0f, 0.0f}, "(0, 0, 0)"},
        {{10.0f, 1.5f, -0.0001f}, "(10, 1.5, -0)"},       // zeros before the point stay
        {{-0.0f, 0.0005f, 100.1f}, "(-0, 0.001, 100.1)"},  // "%.3f" rounding, then trimming
        {{1234.5678f, 0.125f, 1000.0f}, "(1234.568, 0.125, 1000)"},
        {{inf, -inf, 7.0f}, "(inf, -inf, 7)"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.v.toString(), c.text);
}

TEST(TextForm, QuaternionWritesScalarFirst)
{
    EXPECT_STREQ(Quaternion().toString(), "(1, 0, 0, 0)");
    EXPECT_STREQ(Quaternion(1.0f, 2.5f, -3.0f, 0.5f).toString(), "(0.5, 1, 2.5, -3)");
}

TEST(TextForm, NextCallOnTheSameThreadOverwrites)
{
    const char* first = float3(1.0f, 2.0f, 3.0f).toString();
    const char* second = float3(4.0f, 5.0f, 6.0f).toString();
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "(4, 5, 6)");

    // The quaternion text has its own buffer.
    const char* q = Quaternion(0.0f, 0.0f, 0.0f, 2.0f).toString();
    EXPECT_STREQ(second, "(4, 5, 6)");
    EXPECT_STREQ(q, "(2, 0, 0, 0)");
}

TEST(TextForm, LongTextIsCutAt63Characters)
{
    // 1e30f prints as 1000000015047466219876688855040; the whole text would be 99 characters.
    const std::string big = "1000000015047466219876688855040";
    const std::string full = "(" + big + ", " + big + ", " + big + ")";
    const char* text = float3(1e30f, 1e30f, 1e30f).toString();
    EXPECT_EQ(std::strlen(text), 63u);
    EXPECT_EQ(std::string(text), full.substr(0, 63));

    // The largest magnitudes: 40 digits each, four times.
    const char* q = Quaternion(-FLT_MAX, FLT_MAX, -FLT_MAX, FLT_MAX).toString();
    EXPECT_EQ(std::strlen(q), 63u);
    EXPECT_EQ(std::string(q), std::string("(340282346638528859811704183484516925440, "
                                          "-34028234663852885981").substr(0, 63));
}

TEST(TextForm, BuffersArePerThread)
{
    const char* mine = float3(1.0f, 1.0f, 1.0f).toString();
    const char* mineQ = Quaternion(1.0f, 1.0f, 1.0f, 1.0f).toString();
    std::string theirs, theirsQ;
    const void* theirPointer = nullptr;
    std::thread other([&] {
        const char* t = float3(2.0f, 2.0f, 2.0f).toString();
        theirPointer = t;
        theirs = t;
        theirsQ = Quaternion(2.0f, 2.0f, 2.0f, 2.0f).toString();
    });
    other.join();
    EXPECT_NE(theirPointer, static_cast<const void*>(mine));
    EXPECT_EQ(theirs, "(2, 2, 2)");
    EXPECT_EQ(theirsQ, "(2, 2, 2, 2)");
    // The other thread's calls left this thread's texts alone.
    EXPECT_STREQ(mine, "(1, 1, 1)");
    EXPECT_STREQ(mineQ, "(1, 1, 1, 1)");
}

TEST(TextForm, ConcurrentCallsKeepTheirOwnText)
{
    auto worker = [](float value, const char* expected, int* mismatches) {
        for (int i = 0; i < 20000; ++i) {
            const char* t = float3(value, value, value).toString();
            if (std::strcmp(t, expected) != 0)
                ++*mismatches;
        }
    };
    int badA = 0, badB = 0;
    std::thread a(worker, 1.5f, "(1.5, 1.5, 1.5)", &badA);
    std::thread b(worker, -7.0f, "(-7, -7, -7)", &badB);
    a.join();
    b.join();
    EXPECT_EQ(badA, 0);
    EXPECT_EQ(badB, 0);
}
