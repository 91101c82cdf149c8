// The 48 kHz and 32 kHz to 8 kHz decimators against a direct FIR in double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "speech/decimator.h"
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

TEST(SpeechDecimator, SymmetricTablesWithGainNearOne) {
    for (const Case& c : kCases) {
        for (int i = 0; i < c.taps; ++i) EXPECT_EQ(c.taps_table[i], c.taps_table[c.taps - 1 - i]);
        // A steady 1000 settles to 1008 once the history is full of it.
        DecimatorState state;
        Decimator_Create(&state, c.taps_table, c.taps, c.factor);
        const std::vector<int16_t> steady(40 * c.rate_khz, 1000);
        std::vector<int16_t> out(steady.size() / c.factor);
        Decimator_Process(&state, steady.data(), 20 * c.rate_khz, out.data());
        Decimator_Process(&state, steady.data(), 20 * c.rate_khz, out.data());
        for (int j = 0; j < 20 * 8; ++j) EXPECT_EQ(out[j], 1008) << c.rate_khz << " kHz output " << j;
    }
}

TEST(SpeechDecimator, OutOfRangeResultsKeepTheirLow16Bits) {
    // Full scale with the sign of each tap drives the first output to about 58000.
    DecimatorState state;
    Decimator_Create(&state, kDecimatorTaps48k.data(), 96, 6);
    double exact = 0.0;
    for (int i = 0; i < 96; ++i) {
        const float c = kDecimatorTaps48k[95 - i];
        state.history[i] = c >= 0.0f ? 32767 : -32768;
        exact += state.history[i] * static_cast<double>(c);
    }
    ASSERT_GT(exact, 40000.0);
    const int16_t input[6] = {};
    int16_t out[2] = {123, 123};
    Decimator_Process(&state, input, 5, out);  // fewer samples than the factor: no output
    EXPECT_EQ(out[0], 123);
    for (int i = 0; i < 96; ++i) {
        const float c = kDecimatorTaps48k[95 - i];
        state.history[i] = c >= 0.0f ? 32767 : -32768;
    }
    Decimator_Process(&state, input, 6, out);
    EXPECT_LT(out[0], 0);
    EXPECT_NEAR(out[0] + 65536.0, std::trunc(exact), 1.0);
}

TEST(SpeechDecimator, HasNoHeapForm) { EXPECT_EQ(Decimator_Create(nullptr, kDecimatorTaps48k.data(), 96, 6), nullptr); }

}  // namespace
