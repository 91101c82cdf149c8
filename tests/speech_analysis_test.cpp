// The speech detector's steps: the decimators against a direct FIR, the
// 256-point real transform against a direct DFT and its inverse against the
// cosine sum, the taper, the power spectrum and the harmonic-peak pitch
// search, and the voicing decision's fading-strength guard, probability and
// level floor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "speech/analysis_frame.h"
#include "speech/decimator.h"
#include "speech/harmonic_peaks.h"
#include "speech/real_fft256.h"
#include "speech/voicing.h"
#include "test_signals.h"

namespace {

// Output j of a FIR whose input is preceded by taps zeros: sum of
// x[j*factor + i - taps] * c[taps - 1 - i].
double DirectFir(const std::vector<int16_t>& x, const float* c, int taps, int factor, int j) {
    double acc = 0.0;
    for (int i = 0; i < taps; ++i) {
        const int n = j * factor + i - taps;
        if (n >= 0) acc += x[n] * static_cast<double>(c[taps - 1 - i]);
    }
    return acc;
}

struct Case {
    const float* taps_table;
    int taps;
    int factor;
    int rate_khz;
};

const Case kCases[] = {{kDecimatorTaps48k.data(), 96, 6, 48}, {kDecimatorTaps32k.data(), 64, 4, 32}};

TEST(SpeechDecimator, MatchesDirectFirAcrossFrameBoundaries) {
    const std::vector<int16_t> speech = test_signals::SpeechLike(6);
    for (const Case& c : kCases) {
        // Resample the 48 kHz signal crudely to the case's rate; any real signal will do.
        std::vector<int16_t> x;
        for (size_t n = 0; n * 48 / c.rate_khz < speech.size(); ++n) x.push_back(speech[n * 48 / c.rate_khz]);
        DecimatorState state;
        ASSERT_EQ(Decimator_Create(&state, c.taps_table, c.taps, c.factor), &state);
        const int frame = 20 * c.rate_khz;
        std::vector<int16_t> out(x.size() / c.factor);
        int mismatches = 0;
        for (size_t start = 0; start + frame <= x.size(); start += frame) {
            Decimator_Process(&state, &x[start], frame, &out[start / c.factor]);
            for (int j = 0; j < frame / c.factor; ++j) {
                const int index = static_cast<int>(start / c.factor) + j;
                const double exact = DirectFir(x, c.taps_table, c.taps, c.factor, index);
                // Float accumulation may land a truncation one step off near an integer.
                EXPECT_LE(std::abs(out[index] - std::trunc(exact)), 1.0) << c.rate_khz << " kHz output " << index;
                mismatches += out[index] != std::trunc(exact);
            }
        }
        EXPECT_LT(mismatches, static_cast<int>(out.size()) / 100) << c.rate_khz << " kHz";
    }
}

TEST(SpeechDecimator, OutOfRangeResultsKeepTheirLow16Bits) {
    // Full scale with the sign of each tap drives the first output to about 58000.
    DecimatorState state;
    Decimator_Create(&state, kDecimatorTaps48k.data(), 96, 6);
    double exact = 0.0;
    for (int i = 0; i < 96; ++i) exact += (kDecimatorTaps48k[95 - i] >= 0.0f ? 32767 : -32768) * double{kDecimatorTaps48k[95 - i]};
    ASSERT_GT(exact, 40000.0);
    const int16_t input[6] = {};
    int16_t out[2] = {123, 123};
    Decimator_Process(&state, input, 5, out);  // fewer samples than the factor: no output
    EXPECT_EQ(out[0], 123);
    for (int i = 0; i < 96; ++i) state.history[i] = kDecimatorTaps48k[95 - i] >= 0.0f ? 32767 : -32768;
    Decimator_Process(&state, input, 6, out);
    EXPECT_LT(out[0], 0);
    EXPECT_NEAR(out[0] + 65536.0, std::trunc(exact), 1.0);
}

constexpr double kPi = 3.14159265358979323846;

const RealFft256Tables* FftTables() {
    static RealFft256Tables tables;
    RealFft256_BuildTables(&tables);
    return &tables;
}

TEST(SpeechRealFft, ForwardMatchesDirectDft) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        const std::vector<float> x = test_signals::RandomFloats(256, 20000.0, seed);
        std::vector<float> data = x;
        RealFft256_Forward(data.data(), FftTables());
        double worst = 0.0;
        for (int k = 0; k <= 128; ++k) {
            double re = 0.0;
            double im = 0.0;
            for (int n = 0; n < 256; ++n) {
                re += x[n] * std::cos(2 * kPi * k * n / 256) / 128.0;
                im += x[n] * std::sin(2 * kPi * k * n / 256) / 128.0;
            }
            // The transform leaves 128 X_k.
            const double got_re = (k == 0 ? data[0] : (k == 128 ? data[1] : data[2 * k])) / 128.0;
            const double got_im = (k == 0 || k == 128 ? 0.0 : data[2 * k + 1]) / 128.0;
            worst = std::max(worst, std::hypot(got_re - re, got_im - im));
        }
        // Bins are about 20000 * sqrt(256) / 128 = 2500 in size; float accuracy is a few 1e-4.
        EXPECT_LT(worst, 0.01) << "seed " << seed;
    }
}

TEST(SpeechRealFft, InverseIsTheCosineAndSineSum) {
    std::vector<float> spectrum = test_signals::RandomFloats(256, 1000.0, 9);
    std::vector<float> data = spectrum;
    RealFft256_Inverse(data.data(), FftTables());
    for (int n = 0; n < 256; ++n) {
        double r = 0.5 * spectrum[0] + 0.5 * (n % 2 ? -1.0 : 1.0) * spectrum[1];
        for (int k = 1; k < 128; ++k)
            r += spectrum[2 * k] * std::cos(2 * kPi * k * n / 256) + spectrum[2 * k + 1] * std::sin(2 * kPi * k * n / 256);
        EXPECT_NEAR(data[n], r, 0.05) << "sample " << n;
    }
}

TEST(SpeechAnalysisFrame, TaperRisesAsASineQuarter) {
    float w[64];
    AnalysisFrame_BuildWindowHalf(w);
    EXPECT_EQ(w[0], 0.0f);
    for (int i = 0; i < 64; ++i) EXPECT_NEAR(w[i], std::sin(i * kPi / 128), 2e-7) << i;
}

// |X_k|^2 of every bin in the band, X_k the transform's value scaled by
// 1/128 in float, the square formed in double and rounded once, and 0
// outside the band, on the transform of a real frame.
TEST(SpeechPowerSpectrum, SquaresTheBandAndClearsTheRest) {
    const std::vector<int16_t> pcm = test_signals::SpeechLike(1, 3);
    std::vector<float> transform(256);
    for (int i = 0; i < 256; ++i) transform[i] = static_cast<float>(pcm[static_cast<size_t>(i) * 3] * 47.3);
    float power[128];
    AnalysisFrame_PowerSpectrum(transform.data(), power);
    for (int k = 0; k < 128; ++k) {
        const double re = transform[2 * k] * (1.0f / 128.0f), im = transform[2 * k + 1] * (1.0f / 128.0f);
        const float expected = k >= 10 && k <= 83 ? static_cast<float>(re * re + im * im) : 0.0f;
        EXPECT_EQ(power[k], expected) << "bin " << k;
    }
}

TEST(SpeechHarmonicPeaks, HarmonicCombGivesItsPeriod) {
    // Harmonics of 125 Hz (every 4th bin) in 375 ... 2375 Hz: period 64 samples.
    std::vector<float> floor(128, 1.0f), power(128, 0.5f);
    for (int k = 12; k <= 76; k += 4) power[k] = 1000.0f;
    const HarmonicPeaks r = HarmonicPeaks_Analyse(power.data(), floor.data(), FftTables());
    EXPECT_EQ(r.lag, 128.0f);
    EXPECT_NEAR(r.strength, 17 * 999.5f, 0.1);
    EXPECT_NEAR(r.ratio, 1.0f, 1e-4);
}

TEST(SpeechVoicing, StrengthMustNotBeAFadingTail) {
    float s[10] = {1.0f, 2.75f, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(StrengthNotFading(s));
    s[1] = 2.76f;
    EXPECT_FALSE(StrengthNotFading(s));
    s[1] = 0.0f;
    s[9] = 6.0f;  // the limit nine hops back is 2.75 * 1.07^4 * 1.14^4 = 6.09
    EXPECT_TRUE(StrengthNotFading(s));
    s[9] = 6.2f;
    EXPECT_FALSE(StrengthNotFading(s));
}

TEST(SpeechVoicing, ProbabilityDecaysSlowlyAndRisesFast) {
    EXPECT_NEAR(SpeechProbability_Update(1.0f, false, 0.0f), 0.996f, 1e-7);
    EXPECT_EQ(SpeechProbability_Update(0.0f, false, 0.0f), 0.0f);
    // One voiced hop at the lowest ratio gives 0.72 from nothing; a strong one tops out at 1.
    EXPECT_NEAR(SpeechProbability_Update(0.0f, true, 0.6f), 0.72f, 1e-6);
    float p = 0.0f;
    for (int hop = 0; hop < 50; ++hop) p = SpeechProbability_Update(p, true, 0.95f);
    EXPECT_LE(p, 1.0f);
    EXPECT_GT(p, 0.99f);
    // The flag (p >= 0.61) holds about 1.0 s from 0.8 and 1.9 s from 1.0.
    for (const auto& [start, hops] : {std::pair<float, int>{0.8f, 64}, std::pair<float, int>{1.0f, 119}}) {
        p = start;
        int n = 0;
        while (SpeechDetector_ProbabilityPercent(p) >= 61) {
            p = SpeechProbability_Update(p, false, 0.0f);
            ++n;
        }
        EXPECT_EQ(n, hops) << start;
    }
    EXPECT_EQ(SpeechDetector_ProbabilityPercent(1.0f), 99);
}

TEST(SpeechLevelFloor, FallsAtOnceAndRisesAfter301Hops) {
    SpeechDetectorState st{};
    SpeechDetector_Init(&st, 8, 20);
    auto hop = [&st](float level) {
        st.levelRing[st.levelRingIndex & 3] = level;
        LevelFloor_Update(&st);
        ++st.levelRingIndex;
    };
    hop(10.0f);
    EXPECT_EQ(st.levelFloor, 2.5f);  // three zeros still in the ring
    for (int i = 0; i < 300; ++i) hop(10.0f);
    EXPECT_EQ(st.levelFloor, 2.5f);
    hop(10.0f);  // the 301st hop since the floor last fell
    EXPECT_EQ(st.levelFloor, 10.0f);
    EXPECT_EQ(st.floorAge, 100);
    hop(2.0f);
    EXPECT_EQ(st.levelFloor, 8.0f);
    EXPECT_EQ(st.floorAge, 0);
}

}  // namespace
