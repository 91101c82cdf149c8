// Concealment of lost frames between two known neighbours against its rules
// written out coefficient by coefficient: magnitudes by gap length, and the
// signs drawn from the four generators, mono and stereo alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conceal/conceal.h"
#include "test_signals.h"

namespace {

constexpr int32_t kInitialSeeds[4] = {123123213, -1231213, 12313, 13333};

using Frame = std::vector<float>;

// The generator's step: times 16807, wrapped to 32 bits, read as signed.
int32_t Step(int32_t g) { return static_cast<int32_t>(static_cast<uint32_t>(g) * 16807u); }

// Frames 0 ... gap - 1 between `older` and `newer`, as the rules read; every
// product and sum is a float.
std::vector<float> Concealed(int32_t seeds[4], const Frame& older, const Frame& newer, int gap) {
    std::vector<float> out(static_cast<size_t>(gap) * kFrameSamples);
    float fade = 1.0f;
    for (int i = 0; i < gap; ++i) {
        fade *= 0.85f;
        for (int k = 0; k < kFrameSamples; ++k) {
            seeds[k % 4] = Step(seeds[k % 4]);
            const float o = older[k], n = newer[k], sum = std::fabs(o) + std::fabs(n);
            float v;
            if (gap == 1) v = k < 40 ? 0.75f * o : 0.5f * sum;
            else if (gap >= 7) v = fade * o;
            else if (i == 0) v = 0.9f * o;
            else if (i == gap - 1) v = 0.9f * n;
            else v = 0.4f * sum;
            out[static_cast<size_t>(i) * kFrameSamples + k] = seeds[k % 4] > 0 ? v : -v;
        }
    }
    return out;
}

// Neighbours with real-looking spectra: frames of test signals read as coefficients.
Frame SignalFrame(const std::vector<int16_t>& signal, int index) {
    return Frame(signal.begin() + index * kFrameSamples, signal.begin() + (index + 1) * kFrameSamples);
}

TEST(Conceal, EveryGapLengthFollowsTheRulesMonoAndStereo) {
    // 123123213 x 16807 = 2069331840891 = 482 x 2^32 - 842395781.
    EXPECT_EQ(Step(kInitialSeeds[0]), -842395781);
    const Frame o0 = SignalFrame(test_signals::SpeechLike(6), 3), n0 = SignalFrame(test_signals::Chords(6), 4);
    const Frame o1 = SignalFrame(test_signals::Sweep(8), 6), n1 = SignalFrame(test_signals::Noise(8, 3000.0), 7);
    const Frame zero(kFrameSamples, 0.0f);
    int32_t mono[4], stereo[4], model[4];
    std::memcpy(mono, kInitialSeeds, sizeof mono);
    std::memcpy(stereo, kInitialSeeds, sizeof stereo);
    std::memcpy(model, kInitialSeeds, sizeof model);
    // The signs of each gap depend on all gaps before it: the generators run on.
    for (int gap = 1; gap <= 20; ++gap) {
        SCOPED_TRACE(gap);
        const Frame& older = gap % 5 == 2 ? zero : o0;  // a silent older neighbour now and then
        std::vector<float> got(static_cast<size_t>(gap) * kFrameSamples, 12345.0f);
        ConcealFrames(mono, older.data(), n0.data(), gap, got.data());
        int32_t before[4];
        std::memcpy(before, model, sizeof before);
        EXPECT_EQ(got, Concealed(model, older, n0, gap));
        EXPECT_EQ(std::memcmp(mono, model, sizeof mono), 0);

        // Stereo: one sign per coefficient for both channels, so each channel
        // is the mono concealment from the same generators.
        std::vector<float> out0(got.size()), out1(got.size());
        ConcealFramesStereo(stereo, older.data(), n0.data(), out0.data(), o1.data(), n1.data(), out1.data(), gap);
        EXPECT_EQ(out0, got);
        EXPECT_EQ(out1, Concealed(before, o1, n1, gap));
        EXPECT_EQ(std::memcmp(stereo, model, sizeof stereo), 0);
    }
}

}  // namespace
