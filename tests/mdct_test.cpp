// The sine-window MDCT: analysis against its defining sum, perfect
// reconstruction one frame later on real-looking signals, the history and
// overlap state, and the synthesis of a single coefficient.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "test_signals.h"
#include "transform/transform.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kScale = 0.04564354568719864;

class MdctTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitDct4Tables(); }
};

double Window(int n) { return n < kFrameSamples ? SineWindow[n] : SineWindow[2 * kFrameSamples - 1 - n]; }

// cos(pi/960 (n + 0.5 - 480)(k + 0.5)) with the argument taken over whole periods first.
double Kernel(int n, int k) {
    const long phase = ((2L * n + 1 - kFrameSamples) * (2 * k + 1)) % 7680;
    return std::cos(kPi / 3840.0 * phase);
}

TEST(SineWindowTable, HoldsTheNearestFloats) {
    for (int n = 0; n < kFrameSamples; ++n)
        EXPECT_EQ(SineWindow[n], static_cast<float>(std::sin(kPi * (n + 0.5) / 1920.0))) << n;
}

TEST_F(MdctTest, AnalysisMatchesDefiningSum) {
    const std::vector<int16_t> signal = test_signals::SpeechLike(4);
    std::vector<int16_t> history(2 * kFrameSamples, 0);
    std::vector<float> coefficients(kFrameSamples);
    for (int frame = 0; frame < 4; ++frame) {
        std::copy_n(signal.begin() + frame * kFrameSamples, kFrameSamples, history.begin() + kFrameSamples);
        const std::vector<int16_t> x = history;
        MdctAnalysis(history.data(), coefficients.data());
        double error = 0.0, energy = 0.0;
        for (int k = 0; k < kFrameSamples; ++k) {
            double sum = 0.0;
            for (int n = 0; n < 2 * kFrameSamples; ++n) sum += Window(n) * x[n] * Kernel(n, k);
            sum *= kScale;
            error += (coefficients[k] - sum) * (coefficients[k] - sum);
            energy += sum * sum;
        }
        ASSERT_GT(energy, 0.0);
        EXPECT_LT(std::sqrt(error / energy), 5e-7) << "frame " << frame;
    }
}

TEST_F(MdctTest, AnalysisShiftsHistory) {
    std::vector<int16_t> history = test_signals::Noise(2, 3000.0);
    const std::vector<int16_t> before = history;
    std::vector<float> coefficients(kFrameSamples);
    MdctAnalysis(history.data(), coefficients.data());
    EXPECT_TRUE(std::equal(history.begin(), history.begin() + kFrameSamples, before.begin() + kFrameSamples));
    EXPECT_TRUE(std::equal(history.begin() + kFrameSamples, history.end(), before.begin() + kFrameSamples));
}

TEST_F(MdctTest, SilenceStaysSilent) {
    std::vector<int16_t> history(2 * kFrameSamples, 0);
    std::vector<float> coefficients(kFrameSamples, 1.0f);
    MdctAnalysis(history.data(), coefficients.data());
    for (float c : coefficients) EXPECT_EQ(c, 0.0f);
    std::vector<float> overlap(kFrameSamples / 2, 0.0f), output(kFrameSamples, 1.0f);
    MdctSynthesis(coefficients.data(), overlap.data(), output.data(), kFrameSamples);
    for (float v : output) EXPECT_EQ(v, 0.0f);
    for (float q : overlap) EXPECT_EQ(q, 0.0f);
}

// Streams a signal through analysis and synthesis; returns the largest
// difference between output frame t and input frame t - 1.
double RoundTripError(const std::vector<int16_t>& signal) {
    const int frames = static_cast<int>(signal.size()) / kFrameSamples;
    std::vector<int16_t> history(2 * kFrameSamples, 0);
    std::vector<float> coefficients(kFrameSamples), overlap(kFrameSamples / 2, 0.0f), output(kFrameSamples);
    double worst = 0.0;
    for (int t = 0; t < frames; ++t) {
        std::copy_n(signal.begin() + t * kFrameSamples, kFrameSamples, history.begin() + kFrameSamples);
        MdctAnalysis(history.data(), coefficients.data());
        MdctSynthesis(coefficients.data(), overlap.data(), output.data(), kFrameSamples);
        for (int n = 0; n < kFrameSamples; ++n) {
            const double expected = t == 0 ? 0.0 : signal[(t - 1) * kFrameSamples + n];
            worst = std::max(worst, std::fabs(output[n] - expected));
        }
    }
    return worst;
}

TEST_F(MdctTest, ReconstructsInputOneFrameLater) {
    using namespace test_signals;
    // Measured worst cases lie between 0.002 and 0.026: a few float steps at 32768.
    EXPECT_LT(RoundTripError(SpeechLike(25)), 0.05);
    EXPECT_LT(RoundTripError(Chords(25)), 0.05);
    EXPECT_LT(RoundTripError(Noise(25, 8000.0)), 0.05);
    EXPECT_LT(RoundTripError(Sweep(50, 30000.0)), 0.05);
    EXPECT_LT(RoundTripError(Tone(10, 1000.0, 32000.0)), 0.05);
    // Full-scale extremes, alternating sign every sample.
    std::vector<int16_t> extremes(10 * kFrameSamples);
    for (size_t n = 0; n < extremes.size(); ++n) extremes[n] = n % 2 ? 32767 : -32768;
    EXPECT_LT(RoundTripError(extremes), 0.05);
}

TEST_F(MdctTest, SingleCoefficientSynthesisesWindowedCosine) {
    for (int k : {0, 5, 700, 959}) {
        const float value = 1000.0f;
        std::vector<float> coefficients(kFrameSamples, 0.0f), overlap(kFrameSamples / 2, 0.0f), first(kFrameSamples), second(kFrameSamples);
        coefficients[k] = value;
        MdctSynthesis(coefficients.data(), overlap.data(), first.data(), kFrameSamples);
        std::fill(coefficients.begin(), coefficients.end(), 0.0f);
        MdctSynthesis(coefficients.data(), overlap.data(), second.data(), kFrameSamples);
        for (int n = 0; n < kFrameSamples; ++n) {
            EXPECT_NEAR(first[n], kScale * Window(n) * value * Kernel(n, k), 1e-3) << "k " << k << " n " << n;
            EXPECT_NEAR(second[n], kScale * Window(kFrameSamples + n) * value * Kernel(kFrameSamples + n, k), 1e-3)
                << "k " << k << " n " << n;
        }
    }
}

}  // namespace
