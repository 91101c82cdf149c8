// The four-lane helpers, and the products with second factors kept in
// double (the transform's widened twiddles), give lane by lane exactly the
// bits of the scalar expressions they stand for: products and sums in
// double, one rounding to float. Inputs include values whose products and
// sums round differently in float and in double, tiny and huge magnitudes
// and signed zeros. (The helpers that only move elements are checked by the
// transforms' comparisons with their defining sums, which fail on any
// misplaced element.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "simd/lanes.h"
#include "transform/wide_products.h"

namespace {

// Awkward floats: full-precision random mantissas over a wide exponent range,
// plus zeros of both signs, subnormals and values near the float limits.
std::vector<float> AwkwardFloats(uint32_t seed, int count) {
    std::mt19937 rng(seed);
    const float special[] = {0.0f, -0.0f, 1e-41f, -1e-41f, 3e38f, -3e38f, 1.0f, -1.0f, 16777217.0f, 0.5f};
    std::vector<float> v(count);
    for (float& x : v) {
        const uint32_t r = rng();
        x = r % 8 == 0 ? special[r % 10]
                       : std::ldexp(static_cast<float>(static_cast<int32_t>(rng()) | 1) / 2147483648.0f,
                                    static_cast<int>(r % 61) - 30);
    }
    return v;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectLanes(Float4 got, const float* expected, const char* what) {
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(SameBits(got[k], expected[k])) << what << " lane " << k;
}

TEST(Lanes, RoundedArithmeticMatchesTheScalarExpressions) {
    const std::vector<float> a = AwkwardFloats(1, 4000), b = AwkwardFloats(2, 4000), c = AwkwardFloats(3, 4000),
                             d = AwkwardFloats(4, 4000);
    const double factor = 0.55901700258255;
    for (int i = 0; i < 4000; i += 4) {
        float sum[4], difference[4], product_sum[4], scaled[4], added_scaled[4], product[4], sum_of_sums[4],
            difference_of_sums[4];
        for (int k = 0; k < 4; ++k) {
            const int j = i + k;
            const double wa = a[j], wb = b[j], wc = c[j], wd = d[j];
            sum[k] = static_cast<float>(wa * wb + wc * wd);
            difference[k] = static_cast<float>(wa * wb - wc * wd);
            product_sum[k] = static_cast<float>(wa + wb * wc);
            scaled[k] = static_cast<float>(factor * wa);
            added_scaled[k] = static_cast<float>(wa + factor * wb);
            product[k] = static_cast<float>(wa * wb);
            sum_of_sums[k] = static_cast<float>((wa + wb) + (wc + wd));
            difference_of_sums[k] = static_cast<float>((wa + wb) - (wc + wd));
        }
        const Float4 la = LoadFloat4(&a[i]), lb = LoadFloat4(&b[i]), lc = LoadFloat4(&c[i]), ld = LoadFloat4(&d[i]);
        const double wide_b[4] = {b[i], b[i + 1], b[i + 2], b[i + 3]}, wide_d[4] = {d[i], d[i + 1], d[i + 2], d[i + 3]};
        ExpectLanes(SumOfProducts(la, lb, lc, ld), sum, "a b + c d");
        ExpectLanes(SumOfProducts(la, wide_b, lc, wide_d), sum, "a b + c d, b and d wide");
        ExpectLanes(DifferenceOfProducts(la, lb, lc, ld), difference, "a b - c d");
        ExpectLanes(DifferenceOfProducts(la, wide_b, lc, wide_d), difference, "a b - c d, b and d wide");
        ExpectLanes(AddProduct(la, lb, lc), product_sum, "a + x y");
        ExpectLanes(Scale(factor, la), scaled, "factor x");
        ExpectLanes(AddScaled(la, factor, lb), added_scaled, "a + factor x");
        ExpectLanes(Product(la, lb), product, "a b");
        ExpectLanes(SumOfSums(la, lb, lc, ld), sum_of_sums, "(a + b) + (c + d)");
        ExpectLanes(DifferenceOfSums(la, lb, lc, ld), difference_of_sums, "(a + b) - (c + d)");
    }
}

}  // namespace
