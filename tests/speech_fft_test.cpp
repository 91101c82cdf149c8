// The detector's 256-point real transform against a direct DFT, its inverse
// against the cosine sum it stands for, and the analysis taper.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "speech/analysis_frame.h"
#include "speech/real_fft256.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> RandomFrame(uint32_t seed, double scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<float> x(256);
    for (float& v : x) v = static_cast<float>(scale * u(rng));
    return x;
}

class SpeechRealFft : public ::testing::Test {
protected:
    void SetUp() override { RealFft256_BuildTables(&tables_); }
    RealFft256Tables tables_;
};

TEST_F(SpeechRealFft, TablesHoldTheAnglesTheyStandFor) {
    for (int n = 2; n <= 128; n *= 2)
        for (int k = 1; k <= n / 2; ++k) {
            const float* w = tables_.forward.stage + 2 * (n / 2 - 1 + k - 1);
            const float* v = tables_.inverse.stage + 2 * (n / 2 - 1 + k - 1);
            EXPECT_NEAR(w[0], std::cos(2 * kPi * k / n), 1e-6);
            EXPECT_NEAR(w[1], std::sin(2 * kPi * k / n), 1e-6);
            EXPECT_EQ(v[0], w[0]);
            EXPECT_EQ(v[1], -w[1]);
        }
    for (int k = 1; k <= 64; ++k) {
        EXPECT_NEAR(tables_.forward.split[2 * k - 2], std::cos(2 * kPi * k / 256), 1e-6);
        EXPECT_NEAR(tables_.inverse.split[2 * k - 1], -std::sin(2 * kPi * k / 256), 1e-6);
    }
}

TEST_F(SpeechRealFft, ForwardMatchesDirectDft) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        const std::vector<float> x = RandomFrame(seed, 20000.0);
        std::vector<float> data = x;
        RealFft256_Forward(data.data(), &tables_);
        double worst = 0.0;
        for (int k = 0; k <= 128; ++k) {
            double re = 0.0;
            double im = 0.0;
            for (int n = 0; n < 256; ++n) {
                re += x[n] * std::cos(2 * kPi * k * n / 256) / 128.0;
                im += x[n] * std::sin(2 * kPi * k * n / 256) / 128.0;
            }
            const double got_re = k == 0 ? data[0] : (k == 128 ? data[1] : data[2 * k]);
            const double got_im = k == 0 || k == 128 ? 0.0 : data[2 * k + 1];
            worst = std::max(worst, std::hypot(got_re - re, got_im - im));
        }
        // Bins are about 20000 * sqrt(256) / 128 = 2500 in size; float accuracy is a few 1e-4.
        EXPECT_LT(worst, 0.01) << "seed " << seed;
    }
}

TEST_F(SpeechRealFft, InverseIsTheCosineAndSineSum) {
    std::vector<float> spectrum = RandomFrame(9, 1000.0);
    std::vector<float> data = spectrum;
    RealFft256_Inverse(data.data(), &tables_);
    for (int n = 0; n < 256; ++n) {
        double r = 0.5 * spectrum[0] + 0.5 * (n % 2 ? -1.0 : 1.0) * spectrum[1];
        for (int k = 1; k < 128; ++k)
            r += spectrum[2 * k] * std::cos(2 * kPi * k * n / 256) + spectrum[2 * k + 1] * std::sin(2 * kPi * k * n / 256);
        EXPECT_NEAR(data[n], r, 0.05) << "sample " << n;
    }
}

TEST_F(SpeechRealFft, InverseUndoesForward) {
    const std::vector<float> x = RandomFrame(4, 30000.0);
    std::vector<float> data = x;
    RealFft256_Forward(data.data(), &tables_);
    RealFft256_Inverse(data.data(), &tables_);
    for (int n = 0; n < 256; ++n) EXPECT_NEAR(data[n], x[n], 0.02) << "sample " << n;
}

TEST(SpeechAnalysisFrame, TaperRisesAsASineQuarter) {
    float w[64];
    AnalysisFrame_BuildWindowHalf(w);
    EXPECT_EQ(w[0], 0.0f);
    for (int i = 0; i < 64; ++i) EXPECT_NEAR(w[i], std::sin(i * kPi / 128), 2e-7) << i;
}

}  // namespace
