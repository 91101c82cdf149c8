// Stereo dominance analysis: band powers against a direct windowed DFT, the
// level followers and the 8-of-10 switching rule on constructed tone frames.
#include <gtest/gtest.h>

#include <algorithm>
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

    // Bands where neither channel has a level count for nobody; equal levels go to channel 0.
    state = Fresh();
    state.dominant = 1;
    EXPECT_EQ(StereoDominance(kSilence.data(), kSilence.data(), &state), 1);
    EXPECT_EQ(StereoDominance(all.data(), all.data(), &state), 0);
}

// The band levels frame after frame against their rule: half way up to the
// power above the band's floor, else down to 0.7 of the level; a power above
// 1e10 leaves its band's level alone. Tones loud enough to pass that ceiling,
// loud, below the floor, and silence, different in the two channels.
TEST(StereoDominance, BandLevelsFollowThePowerAboveTheFloor) {
    const Frame loud = BandTones(BandRange(0, kBands), 300.0), faint = BandTones(BandRange(0, kBands), 5.0);
    const Frame extreme = BandTones({1, 2}, 16000.0), some = BandTones({0, 3, 6, 9}, 300.0);
    const Frame* frames[][2] = {{&loud, &faint}, {&loud, &kSilence}, {&extreme, &some}, {&kSilence, &loud},
                                {&faint, &extreme}, {&faint, &faint}, {&some, &kSilence}, {&kSilence, &kSilence}};
    StereoAnalysisState state = Fresh();
    float level[2][kBands] = {};
    int passed_ceiling = 0;
    for (const auto& frame : frames) {
        Powers p[2];
        BandPowers(*frame[0], *frame[1], &p[0], &p[1]);
        StereoDominance(frame[0]->data(), frame[1]->data(), &state);
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < kBands; ++b) {
                const float above = std::max(p[c][b] - state.band_floor[c][b], 0.0f);
                float& l = level[c][b];
                if (p[c][b] > 1e10f) ++passed_ceiling;
                else l = l < above ? static_cast<float>(l + 0.5 * (static_cast<double>(above) - l)) : l * 0.7f;
                EXPECT_EQ(state.band_level[c][b], l) << "channel " << c << " band " << b;
            }
    }
    EXPECT_GE(passed_ceiling, 4);
}

}  // namespace
