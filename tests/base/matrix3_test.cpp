#include <gtest/gtest.h>

#include <cmath>

#include "base/bmath.h"

using namespace VadiZov;

namespace {
const float* entries(const Matrix3& m) { return &m.m00; }

void expectEntries(const Matrix3& m, const float (&expected)[9])
{
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(entries(m)[i], expected[i]) << "entry " << i / 3 << i % 3;
}
} // namespace

static_assert(sizeof(Matrix3) == 9 * sizeof(float), "nine floats in row order");

TEST(Matrix3, InverseOfExactlyInvertibleMatrices)
{
    struct Case { Matrix3 in; float out[9]; };
    const Case cases[] = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {{2, 0, 0, 0, 4, 0, 0, 0, 8}, {0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 0.125f}},
        // Asymmetric: a transposed result would put the -2 below the diagonal.
        {{1, 2, 0, 0, 1, 0, 0, 0, 1}, {1, -2, 0, 0, 1, 0, 0, 0, 1}},
        {{0, 1, 0, 0, 0, 1, 1, 0, 0}, {0, 0, 1, 1, 0, 0, 0, 1, 0}},  // permutation: its transpose
    };
    for (const Case& c : cases) {
        Matrix3 out;
        Matrix3::inverse(out, c.in);
        expectEntries(out, c.out);
    }
}

TEST(Matrix3, ProductWithInverseIsIdentity)
{
    const Matrix3 m{0.5f, -1.0f, 2.0f, 3.0f, 0.25f, -0.75f, 1.5f, 2.0f, 4.0f};
    Matrix3 inv;
    Matrix3::inverse(inv, m);
    const float* a = entries(m);
    const float* b = entries(inv);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const float p = (a[r * 3] * b[c] + a[r * 3 + 1] * b[3 + c]) + a[r * 3 + 2] * b[6 + c];
            EXPECT_NEAR(p, r == c ? 1.0f : 0.0f, 1e-6f) << r << c;
        }
}

TEST(Matrix3, SingularMatrixGivesNonFiniteEntries)
{
    const Matrix3 m{1, 2, 3, 1, 2, 3, 0, 1, 5};  // two equal rows
    Matrix3 out;
    Matrix3::inverse(out, m);
    int nonFinite = 0;
    for (int i = 0; i < 9; ++i)
        nonFinite += std::isfinite(entries(out)[i]) ? 0 : 1;
    EXPECT_GT(nonFinite, 0);
}

TEST(Matrix3, InverseInPlaceMatchesSeparateOutput)
{
    const Matrix3 m{0.5f, -1.0f, 2.0f, 3.0f, 0.25f, -0.75f, 1.5f, 2.0f, 4.0f};
    Matrix3 separate;
    Matrix3::inverse(separate, m);
    Matrix3 same = m;
    Matrix3::inverse(same, same);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(entries(same)[i], entries(separate)[i]) << i;
}
