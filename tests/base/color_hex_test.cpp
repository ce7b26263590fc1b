#include <gtest/gtest.h>

#include <string>

#include "base/bmath.h"

using namespace VadiZov;

namespace {
::testing::AssertionResult sameColor(const color& a, const color& b)
{
    if (a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << int(a.r) << "," << int(a.g) << "," << int(a.b) << ","
                                         << int(a.a) << " expected " << int(b.r) << "," << int(b.g) << ","
                                         << int(b.b) << "," << int(b.a);
}
} // namespace

TEST(ColorHex, ToHexWritesUpperCaseRgbOnly)
{
    EXPECT_EQ(colorToHex(color{255, 128, 0, 7}), "FF8000");
    EXPECT_EQ(colorToHex(color{0, 0, 0, 0}), "000000");
    EXPECT_EQ(colorToHex(color{1, 10, 171, 255}), "010AAB");
}

TEST(ColorHex, FromHexReadsAfterTheFirstCharacter)
{
    struct Case { const char* text; color c; };
    const Case cases[] = {
        {"#FF8000", {255, 128, 0, 255}},
        {"#ff8000", {255, 128, 0, 255}},
        {"FF8000", {15, 128, 0, 255}},          // the first character is skipped whatever it is
        {"#zz", {0, 0, 0, 255}},                // no digits
        {"#", {0, 0, 0, 255}},
        {"#  12", {0, 0, 0x12, 255}},           // leading blanks
        {"#12zz34", {0, 0, 0x12, 255}},         // stops at the first non-digit
        {"#0x102030", {0x10, 0x20, 0x30, 255}}, // strtol's base prefix
        {"#1FF8000", {255, 128, 0, 255}},       // bits above 23 are dropped
        {"#-1", {255, 255, 255, 255}},          // two's complement of the signed value
        {"#80000000", {255, 255, 255, 255}},    // above the 32-bit long: 2147483647
        {"#FFFFFFFFFFFFFFFFFFFF", {255, 255, 255, 255}},
        {"#-FFFFFFFFFF", {0, 0, 0, 255}},       // below it: -2147483648
        {"", {0, 0, 0, 255}},                   // nothing to skip
    };
    for (const Case& c : cases)
        EXPECT_TRUE(sameColor(colorFromHex(c.text), c.c)) << '"' << c.text << '"';
}

TEST(ColorHex, RoundTripKeepsRgbAndSetsOpaque)
{
    const color colors[] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {18, 52, 86, 120}, {254, 1, 128, 3}};
    for (const color& c : colors) {
        const color back = colorFromHex(std::string("#").append(colorToHex(c)).c_str());
        EXPECT_TRUE(sameColor(back, color{c.r, c.g, c.b, 255}));
    }
}
