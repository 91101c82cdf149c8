// The transform's twiddles kept in double and the products formed with them:
// the tables hold exactly the float twiddles each stage reads, and a product
// with a widened factor has the bits of the scalar expression with the float
// factor, also where the two products nearly cancel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "transform/transform.h"
#include "transform/wide_products.h"

namespace {

class WideTwiddles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitDct4Tables(); }
};

// Entry m of FftTwiddle, real and imaginary part, widened.
double FftRe(int m) { return FftTwiddle[2 * m]; }
double FftIm(int m) { return FftTwiddle[2 * m + 1]; }

TEST_F(WideTwiddles, HoldTheFloatTwiddlesOfEachStage) {
    const FftWideTwiddles& fft = FftStageTwiddles();
    for (int j = 0; j < 240; ++j) {
        EXPECT_EQ(fft.radix2[j], FftRe(j)) << j;
        EXPECT_EQ(fft.radix2[240 + j], FftIm(j)) << j;
    }
    for (int r = 1; r <= 2; ++r)
        for (int j = 0; j < 80; ++j) {
            EXPECT_EQ(fft.radix3[r - 1][j], FftRe(2 * r * j)) << r << " " << j;
            EXPECT_EQ(fft.radix3[r - 1][80 + j], FftIm(2 * r * j)) << r << " " << j;
        }
    for (int r = 1; r <= 4; ++r)
        for (int j = 0; j < 16; ++j) {
            EXPECT_EQ(fft.radix5[r - 1][j], FftRe(6 * r * j)) << r << " " << j;
            EXPECT_EQ(fft.radix5[r - 1][16 + j], FftIm(6 * r * j)) << r << " " << j;
        }
    const Dct4WideTwiddles& dct = Dct4Twiddles();
    for (int k = 0; k < kFrameSamples; ++k) {
        EXPECT_EQ(dct.pre[k], Dct4PreTwiddle[k]) << k;
        EXPECT_EQ(dct.post[k], Dct4PostTwiddle[k]) << k;
    }
    // The tables are built from the right sources: W^1 and the DCT-IV's
    // first pre-twiddle are not trivial values.
    EXPECT_NEAR(fft.radix2[1], std::cos(2 * M_PI / 480), 1e-7);
    EXPECT_NEAR(dct.pre[kFrameSamples / 2], std::sin(-M_PI * 0.25 / 960), 1e-7);
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(WideTwiddles, ProductsHaveTheBitsOfTheFloatFactorProducts) {
    // Second factors are real twiddles; first factors are random floats over
    // a wide range and, every other group, values whose two products nearly
    // cancel, where a product rounded to float before the sum would differ.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-20, 20);
    const Dct4WideTwiddles& dct = Dct4Twiddles();
    int cancelling = 0;
    for (int group = 0; group < 2000; ++group) {
        float a[4], c[4], b[4], d[4];
        double wide_b[4], wide_d[4];
        for (int k = 0; k < 4; ++k) {
            const int at = static_cast<int>(rng() % 480);
            b[k] = Dct4PreTwiddle[at];
            d[k] = Dct4PreTwiddle[480 + at];
            wide_b[k] = dct.pre[at];
            wide_d[k] = dct.pre[480 + at];
            a[k] = std::ldexp(mantissa(rng), exponent(rng));
            c[k] = group % 2 == 0 ? std::ldexp(mantissa(rng), exponent(rng))
                                  : static_cast<float>(static_cast<double>(a[k]) * b[k] / d[k]);
        }
        const Float4 la = LoadFloat4(a), lc = LoadFloat4(c);
        const Float4 sum = SumOfProducts(la, wide_b, lc, wide_d);
        const Float4 difference = DifferenceOfProducts(la, wide_b, lc, wide_d);
        for (int k = 0; k < 4; ++k) {
            const double ab = static_cast<double>(a[k]) * b[k], cd = static_cast<double>(c[k]) * d[k];
            EXPECT_TRUE(SameBits(sum[k], static_cast<float>(ab + cd))) << group << " lane " << k;
            EXPECT_TRUE(SameBits(difference[k], static_cast<float>(ab - cd))) << group << " lane " << k;
            if (static_cast<float>(ab) - static_cast<float>(cd) != static_cast<float>(ab - cd)) ++cancelling;
        }
    }
    // The cancelling cases did arise.
    EXPECT_GT(cancelling, 100);
}

}  // namespace
