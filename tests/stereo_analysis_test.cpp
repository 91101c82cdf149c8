// Stereo dominance analysis: band powers against a direct windowed DFT, the
// level followers and the 8-of-10 switching rule on constructed tone frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "stereo/stereo_analysis.h"
#include "test_signals.h"

namespace {

constexpr int kBands = 10;
constexpr double kPi = 3.14159265358979323846;

using Frame = std::vector<int16_t>;
using Powers = std::vector<float>;

Frame FrameOf(const std::vector<int16_t>& signal, int index) {
    return Frame(signal.begin() + index * kFrameSamples, signal.begin() + (index + 1) * kFrameSamples);
}

// Sum of tones at the centres of the chosen bands (1000 + 200 b Hz).
Frame BandTones(const std::vector<int>& bands, double amplitude) {
    Frame x(kFrameSamples);
    for (int n = 0; n < kFrameSamples; ++n) {
        double v = 0;
        for (int b : bands) v += amplitude * std::cos(2 * kPi * (1000.0 + 200.0 * b) * n / 48000.0 + 0.3 * b);
        x[n] = static_cast<int16_t>(std::lround(v));
    }
    return x;
}

std::vector<int> BandRange(int from, int to) {
    std::vector<int> bands;
    for (int b = from; b < to; ++b) bands.push_back(b);
    return bands;
}

const Frame kSilence(kFrameSamples, 0);

// |sum of w[n] x[n] e^(-2 pi i k n / 480)|^2 over the first 480 samples, in double
// with the exact symmetric Blackman window.
double DirectPower(const Frame& x, int bin) {
    double re = 0, im = 0;
    for (int n = 0; n < 480; ++n) {
        const double w = 0.42 - 0.5 * std::cos(2 * kPi * n / 479) + 0.08 * std::cos(4 * kPi * n / 479);
        re += w * x[n] * std::cos(2 * kPi * bin * n / 480);
        im -= w * x[n] * std::sin(2 * kPi * bin * n / 480);
    }
    return re * re + im * im;
}

void BandPowers(const Frame& x0, const Frame& x1, Powers* p0, Powers* p1) {
    StereoAnalysisState state;
    InitStereoAnalysis(&state);
    p0->assign(kBands, 0.0f);
    p1->assign(kBands, 0.0f);
    StereoBandPowers(x0.data(), x1.data(), p0->data(), p1->data(), &state);
}

StereoAnalysisState Fresh() {
    StereoAnalysisState state;
    InitStereoAnalysis(&state);
    return state;
}

// Band powers agree with a direct DFT to within the rounding of six-decimal
// tables and float sums: the error in |X| stays below 5e-7 of sum |x[n]|.
TEST(StereoBandPowers, MatchDirectWindowedDftAtTheTenBins) {
    const std::vector<Frame> inputs = {
        FrameOf(test_signals::Tone(2, 1000.0, 800.0), 0),  // on bin 10
        FrameOf(test_signals::Tone(2, 1730.0, 800.0), 1),  // between bins
        FrameOf(test_signals::Tone(2, 5000.0, 20000.0), 0),  // far outside: leakage only
        FrameOf(test_signals::Noise(3, 3000.0), 2),
        FrameOf(test_signals::SpeechLike(10), 4),
        FrameOf(test_signals::Chords(10), 7),
        FrameOf(test_signals::Sweep(60, 30000.0), 25),
    };
    for (size_t i = 0; i < inputs.size(); i += 2) {
        const Frame& a = inputs[i];
        const Frame& b = inputs[(i + 1) % inputs.size()];
        Powers p0, p1;
        BandPowers(a, b, &p0, &p1);
        for (int c = 0; c < 2; ++c) {
            const Frame& x = c == 0 ? a : b;
            const Powers& p = c == 0 ? p0 : p1;
            double abs_sum = 0;
            for (int n = 0; n < 480; ++n) abs_sum += std::abs(x[n]);
            for (int band = 0; band < kBands; ++band) {
                const double reference = std::sqrt(DirectPower(x, 10 + 2 * band));
                EXPECT_NEAR(std::sqrt(static_cast<double>(p[band])), reference, 5e-7 * abs_sum + 1e-3)
                    << "input " << (c == 0 ? i : (i + 1) % inputs.size()) << " band " << band;
            }
        }
    }
}

// Tones in bands 200 Hz apart leak about 1 % of their power into the next
// band, so each channel clearly wins exactly the bands it plays.
TEST(StereoDominance, SwitchesOnlyWhenEightOfTenBandsAgree) {
    StereoAnalysisState state = Fresh();
    const Frame low7 = BandTones(BandRange(0, 7), 300.0), high3 = BandTones(BandRange(7, 10), 300.0);
    EXPECT_EQ(StereoDominance(high3.data(), low7.data(), &state), 0);  // 7 to 3 for channel 1 keeps 0
    EXPECT_EQ(StereoDominance(high3.data(), low7.data(), &state), 0);

    state = Fresh();
    const Frame low8 = BandTones(BandRange(0, 8), 300.0), high2 = BandTones(BandRange(8, 10), 300.0);
    EXPECT_EQ(StereoDominance(high2.data(), low8.data(), &state), 1);  // 8 to 2 switches at once

    state = Fresh();
    const Frame all = BandTones(BandRange(0, kBands), 300.0);
    EXPECT_EQ(StereoDominance(kSilence.data(), all.data(), &state), 1);
    // Channel 1 falls silent: its decaying levels keep the bands channel 0 does not play.
    EXPECT_EQ(StereoDominance(low7.data(), kSilence.data(), &state), 1);
    EXPECT_EQ(StereoDominance(low7.data(), kSilence.data(), &state), 1);
    EXPECT_EQ(StereoDominance(low8.data(), kSilence.data(), &state), 0);

    // Five bands each: a split keeps the old decision either way.
    const Frame even = BandTones({0, 2, 4, 6, 8}, 300.0), odd = BandTones({1, 3, 5, 7, 9}, 300.0);
    state = Fresh();
    state.dominant = 1;
    EXPECT_EQ(StereoDominance(even.data(), odd.data(), &state), 1);
    state = Fresh();
    EXPECT_EQ(StereoDominance(even.data(), odd.data(), &state), 0);
}

// Speech against chords, each in turn 26 dB down, with the second half of
// every frame replaced by noise in a second run.
TEST(StereoDominance, DecisionsIgnoreTheSecondHalfOfEachFrame) {
    const std::vector<int16_t> speech = test_signals::SpeechLike(40);
    const std::vector<int16_t> chords = test_signals::Chords(40);
    const std::vector<int16_t> noise = test_signals::Noise(40, 4000.0);
    StereoAnalysisState a = Fresh(), b = Fresh();
    int ones = 0;
    for (int f = 0; f < 40; ++f) {
        Frame x0 = FrameOf(speech, f), x1 = FrameOf(chords, f);
        for (int16_t& v : f < 20 ? x1 : x0) v = static_cast<int16_t>(v / 20);
        const int da = StereoDominance(x0.data(), x1.data(), &a);
        for (int n = 480; n < kFrameSamples; ++n) {
            x0[n] = noise[f * kFrameSamples + n];
            x1[n] = noise[f * kFrameSamples + n - 480];
        }
        EXPECT_EQ(StereoDominance(x0.data(), x1.data(), &b), da) << f;
        ones += da;
    }
    EXPECT_EQ(std::memcmp(a.band_level, b.band_level, sizeof(a.band_level)), 0);
    EXPECT_GT(ones, 10);  // both decisions occur
    EXPECT_LT(ones, 30);
}

}  // namespace
