// Concealment of lost frames between two known neighbours, checked over whole
// made-up frames: magnitudes by gap length, sign draws, mono against stereo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conceal/conceal.h"
#include "test_signals.h"

namespace {

constexpr int32_t kInitialSeeds[4] = {123123213, -1231213, 12313, 13333};

using Frame = std::vector<float>;

struct Seeds {
    int32_t g[4];
};

Seeds FreshSeeds() {
    Seeds s;
    std::memcpy(s.g, kInitialSeeds, sizeof(s.g));
    return s;
}

// Neighbour frames with real-looking spectra: a frame of a test signal read as coefficients.
Frame SignalFrame(const std::vector<int16_t>& signal, int index) {
    return Frame(signal.begin() + index * kFrameSamples, signal.begin() + (index + 1) * kFrameSamples);
}
Frame OlderNeighbour() { return SignalFrame(test_signals::SpeechLike(6), 3); }
Frame NewerNeighbour() { return SignalFrame(test_signals::Chords(6), 4); }

std::vector<Frame> Conceal(Seeds* seeds, const Frame& older, const Frame& newer, int n) {
    std::vector<float> out(static_cast<size_t>(n) * kFrameSamples, 12345.0f);
    ConcealFrames(seeds->g, older.data(), newer.data(), n, out.data());
    std::vector<Frame> frames;
    for (int i = 0; i < n; ++i)
        frames.emplace_back(out.begin() + i * kFrameSamples, out.begin() + (i + 1) * kFrameSamples);
    return frames;
}

// Expects |frame[k]| = expected[k] for coefficients from..to-1.
void ExpectMagnitudes(const Frame& frame, const Frame& expected, int from, int to, const char* what) {
    int wrong = 0;
    for (int k = from; k < to; ++k)
        if (std::fabs(frame[k]) != expected[k]) ++wrong;
    EXPECT_EQ(wrong, 0) << what;
}

Frame Scaled(const Frame& x, float factor) {
    Frame y(x.size());
    for (size_t k = 0; k < x.size(); ++k) y[k] = std::fabs(factor * x[k]);
    return y;
}

// Fraction of coefficients whose signs differ between two frames (where both are nonzero).
double SignChangeFraction(const Frame& a, const Frame& b) {
    int compared = 0, changed = 0;
    for (int k = 0; k < kFrameSamples; ++k) {
        if (a[k] == 0.0f || b[k] == 0.0f) continue;
        ++compared;
        if ((a[k] < 0) != (b[k] < 0)) ++changed;
    }
    return compared ? static_cast<double>(changed) / compared : 0.0;
}

// A generator stepped by 16807 modulo 2^32, written with 64-bit arithmetic.
int32_t Step(int32_t g) {
    const int64_t wrapped = (static_cast<int64_t>(g) * 16807) % (int64_t{1} << 32);
    const int64_t positive = wrapped < 0 ? wrapped + (int64_t{1} << 32) : wrapped;
    return static_cast<int32_t>(positive >= (int64_t{1} << 31) ? positive - (int64_t{1} << 32) : positive);
}

TEST(ConcealSigns, FirstSignComesFromTheFirstGeneratorsFirstStep) {
    // 123123213 x 16807 = 2069331840891 = 482 x 2^32 - 842395781.
    const int32_t first = Step(123123213);
    EXPECT_EQ(first, -842395781);
    Seeds seeds = FreshSeeds();
    const Frame ones(kFrameSamples, 1000.0f);
    const std::vector<Frame> y = Conceal(&seeds, ones, ones, 1);
    EXPECT_LT(y[0][0], 0.0f);
}

// Every coefficient steps its generator once, frame by frame and 0 ... 959
// within a frame; a value above 0 gives +.
TEST(ConcealSigns, FollowGeneratorOrderAndAdvanceEachGenerator240TimesPerFrame) {
    const Frame ones(kFrameSamples, 1.0f);
    Seeds seeds = FreshSeeds();
    const std::vector<Frame> warmup = Conceal(&seeds, ones, ones, 3);  // signs depend on earlier gaps
    const std::vector<Frame> y = Conceal(&seeds, ones, ones, 20);
    int32_t g[4];
    std::memcpy(g, kInitialSeeds, sizeof(g));
    int wrong = 0, positive = 0;
    for (int i = 0; i < 3 + 20; ++i)
        for (int k = 0; k < kFrameSamples; ++k) {
            g[k % 4] = Step(g[k % 4]);
            const Frame& frame = i < 3 ? warmup[i] : y[i - 3];
            if ((frame[k] > 0) != (g[k % 4] > 0)) ++wrong;
            if (frame[k] > 0) ++positive;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(std::memcmp(seeds.g, g, sizeof(g)), 0);
    const double share = static_cast<double>(positive) / (23 * kFrameSamples);
    EXPECT_NEAR(share, 0.5, 0.03);
}

TEST(ConcealGapLengths, OneFrameKeepsTheLowBandOfTheOlderAndAveragesAboveIt) {
    const Frame o = OlderNeighbour();
    Seeds seeds = FreshSeeds();
    const std::vector<Frame> same = Conceal(&seeds, o, o, 1);
    ExpectMagnitudes(same[0], Scaled(o, 0.75f), 0, 40, "below 1 kHz: 0.75 of the older frame");
    ExpectMagnitudes(same[0], Scaled(o, 1.0f), 40, kFrameSamples, "above: mean of two equal magnitudes");

    // The low band ignores the newer neighbour; above it both count equally.
    const Frame n = NewerNeighbour();
    Seeds again = FreshSeeds();
    const std::vector<Frame> blend = Conceal(&again, o, n, 1);
    for (int k = 0; k < 40; ++k) ASSERT_EQ(blend[0][k], same[0][k]) << k;
    double energy = 0, expected = 0;
    for (int k = 40; k < kFrameSamples; ++k) {
        energy += std::fabs(blend[0][k]);
        expected += 0.5 * (std::fabs(o[k]) + std::fabs(n[k]));
    }
    EXPECT_NEAR(energy, expected, 1e-5 * expected);
}

TEST(ConcealGapLengths, TwoFramesTakeEachNeighbourAtNineTenthsWithFreshSigns) {
    const Frame o = OlderNeighbour();
    const Frame n = NewerNeighbour();
    Seeds seeds = FreshSeeds();
    const std::vector<Frame> y = Conceal(&seeds, o, n, 2);
    ExpectMagnitudes(y[0], Scaled(o, 0.9f), 0, kFrameSamples, "frame 0 from the older neighbour");
    ExpectMagnitudes(y[1], Scaled(n, 0.9f), 0, kFrameSamples, "frame 1 from the newer neighbour, no blend");
    // Fresh signs: frame 1 relative to N is independent of frame 0 relative to O.
    Frame s0(kFrameSamples), s1(kFrameSamples);
    for (int k = 0; k < kFrameSamples; ++k) {
        s0[k] = y[0][k] * o[k];
        s1[k] = y[1][k] * n[k];
    }
    EXPECT_NEAR(SignChangeFraction(s0, s1), 0.5, 0.08);
}

TEST(ConcealGapLengths, ThreeToSixFramesShareOneMiddleMagnitude) {
    const std::vector<int16_t> speech = test_signals::SpeechLike(8);
    const std::vector<int16_t> chords = test_signals::Chords(8);
    Seeds seeds = FreshSeeds();
    for (int gap = 3; gap <= 6; ++gap) {
        SCOPED_TRACE(gap);
        const Frame o = SignalFrame(speech, gap), n = SignalFrame(chords, gap);  // new neighbours each time
        Frame middle(kFrameSamples);
        for (int k = 0; k < kFrameSamples; ++k) middle[k] = 0.4f * (std::fabs(o[k]) + std::fabs(n[k]));
        const std::vector<Frame> y = Conceal(&seeds, o, n, gap);
        ExpectMagnitudes(y[0], Scaled(o, 0.9f), 0, kFrameSamples, "first frame");
        ExpectMagnitudes(y[gap - 1], Scaled(n, 0.9f), 0, kFrameSamples, "last frame");
        for (int i = 1; i < gap - 1; ++i) ExpectMagnitudes(y[i], middle, 0, kFrameSamples, "middle frame");
        for (int i = 2; i < gap - 1; ++i) EXPECT_NEAR(SignChangeFraction(y[i - 1], y[i]), 0.5, 0.08);
    }
}

TEST(ConcealGapLengths, SevenAndMoreFramesFadeTheOlderAndIgnoreTheNewer) {
    const Frame o = OlderNeighbour();
    const Frame n = NewerNeighbour();
    const Frame other = SignalFrame(test_signals::Noise(3, 2000.0), 1);
    for (int gap : {7, 13, 20}) {
        SCOPED_TRACE(gap);
        Seeds a = FreshSeeds(), b = FreshSeeds();
        const std::vector<Frame> y = Conceal(&a, o, n, gap);
        EXPECT_EQ(Conceal(&b, o, other, gap), y);
        for (int i = 0; i < gap; ++i) {
            const double factor = std::pow(0.85, i + 1);
            double worst = 0;  // relative error against the exact power of 0.85
            for (int k = 0; k < kFrameSamples; ++k)
                if (o[k] != 0.0f)
                    worst = std::max(worst, std::fabs(std::fabs(y[i][k]) / (factor * std::fabs(o[k])) - 1.0));
            EXPECT_LT(worst, 3e-6) << "frame " << i;
        }
    }
    Seeds seeds = FreshSeeds();
    const Frame unit(kFrameSamples, 1.0f);
    EXPECT_NEAR(std::fabs(Conceal(&seeds, unit, n, 7)[6][0]), 0.3206, 1e-4);
    EXPECT_NEAR(std::fabs(Conceal(&seeds, unit, n, 20)[19][0]), 0.0388, 1e-4);
}

TEST(ConcealGapLengths, ZeroOlderNeighbourGivesSilenceWhereOnlyItCounts) {
    const Frame zero(kFrameSamples, 0.0f);
    const Frame n = NewerNeighbour();
    Seeds seeds = FreshSeeds();
    for (int gap : {7, 20})
        for (const Frame& f : Conceal(&seeds, zero, n, gap)) ExpectMagnitudes(f, zero, 0, kFrameSamples, "faded");
    const std::vector<Frame> y = Conceal(&seeds, zero, n, 2);
    ExpectMagnitudes(y[0], zero, 0, kFrameSamples, "frame 0 of two");
    ExpectMagnitudes(y[1], Scaled(n, 0.9f), 0, kFrameSamples, "frame 1 of two");
}

// Stereo applies the mono rules per channel and draws one sign per coefficient
// for both, so each channel equals a mono concealment from the same seeds.
TEST(ConcealStereo, EachChannelMatchesMonoFromTheSameSeeds) {
    const Frame o0 = OlderNeighbour(), n0 = NewerNeighbour();
    const Frame o1 = SignalFrame(test_signals::Sweep(8), 6), n1 = SignalFrame(test_signals::Noise(8, 3000.0), 7);
    Seeds stereo_seeds = FreshSeeds();
    for (int gap : {1, 2, 4, 7, 20}) {
        SCOPED_TRACE(gap);
        const Seeds before = stereo_seeds;
        std::vector<float> out0(gap * kFrameSamples), out1(gap * kFrameSamples);
        ConcealFramesStereo(stereo_seeds.g, o0.data(), n0.data(), out0.data(), o1.data(), n1.data(), out1.data(),
                            gap);
        Seeds mono0 = before, mono1 = before;
        std::vector<float> ref0(gap * kFrameSamples), ref1(gap * kFrameSamples);
        ConcealFrames(mono0.g, o0.data(), n0.data(), gap, ref0.data());
        ConcealFrames(mono1.g, o1.data(), n1.data(), gap, ref1.data());
        EXPECT_EQ(out0, ref0);
        EXPECT_EQ(out1, ref1);
        EXPECT_EQ(std::memcmp(stereo_seeds.g, mono0.g, sizeof(mono0.g)), 0);
    }
}

}  // namespace
