// Stereo streams through the exported interface: the reported level follows
// the dominant channel. (Each decoded channel following its own input is
// measured with the other signals, per band, in the codec's end-to-end test.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec_session.h"
#include "test_signals.h"

namespace {

constexpr int kSegmentFrames = 50;  // the loud channel swaps every second
constexpr int kSegments = 4;
constexpr int kFrames = kSegmentFrames * kSegments;
constexpr int kTotalRate = 96000;  // 48 kbit/s per channel

// Channel 0 speaks, channel 1 plays chords; in each segment one of them is
// 30 dB down, channel 0 being the loud one in even segments.
int LoudChannel(int frame) { return (frame / kSegmentFrames) % 2; }

struct Scene {
    std::vector<int16_t> channel[2];
    std::vector<int16_t> planar;
};

Scene MakeScene() {
    Scene s;
    s.channel[0] = test_signals::SpeechLike(kFrames);
    s.channel[1] = test_signals::Chords(kFrames);
    for (int ch = 0; ch < 2; ++ch)
        for (int n = 0; n < kFrames * kFrameSamples; ++n)
            if (LoudChannel(n / kFrameSamples) != ch)
                s.channel[ch][n] = static_cast<int16_t>(std::lround(s.channel[ch][n] * 0.0316));
    s.planar = test_signals::Planar(s.channel[0], s.channel[1]);
    return s;
}

struct Encoded {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<int32_t> energy;  // DremkoEncoder_GetEnergy after each frame
};

Encoded EncodeWithEnergy(const std::vector<int16_t>& pcm, bool stereo) {
    EncoderSession enc = MakeEncoder(stereo ? kTotalRate : kTotalRate / 2, stereo);
    const size_t frame = stereo ? 2 * kFrameSamples : kFrameSamples;
    Encoded e;
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
        const std::vector<int16_t> one(pcm.begin() + at, pcm.begin() + at + frame);
        e.packets.push_back(EncodeAll(enc, one, stereo, 0).front());
        e.energy.push_back(DremkoEncoder_GetEnergy(enc.ctx()));
    }
    return e;
}

// Each channel of the stereo encoder is coded as a mono encoder would code
// it, so the reported level must be one of the two mono levels, and it must be
// the loud channel's a few frames after each swap.
TEST(StereoEndToEnd, ReportedLevelFollowsTheDominantChannel) {
    const Scene scene = MakeScene();
    const Encoded stereo = EncodeWithEnergy(scene.planar, true);
    const Encoded mono[2] = {EncodeWithEnergy(scene.channel[0], false), EncodeWithEnergy(scene.channel[1], false)};
    ASSERT_EQ(stereo.energy.size(), static_cast<size_t>(kFrames));

    for (int f = 0; f < kFrames; ++f)
        EXPECT_TRUE(stereo.energy[f] == mono[0].energy[f] || stereo.energy[f] == mono[1].energy[f]) << f;

    constexpr int kSettle = 5;  // the analysis needs a frame or two to swap
    for (int seg = 0; seg < kSegments; ++seg) {
        int distinct = 0, followed = 0;
        for (int f = seg * kSegmentFrames + kSettle; f < (seg + 1) * kSegmentFrames; ++f) {
            const int loud = LoudChannel(f);
            if (mono[loud].energy[f] == mono[1 - loud].energy[f]) continue;
            ++distinct;
            if (stereo.energy[f] == mono[loud].energy[f]) ++followed;
        }
        EXPECT_GE(distinct, (kSegmentFrames - kSettle) * 9 / 10) << "segment " << seg << ": levels must differ";
        EXPECT_EQ(followed, distinct) << "segment " << seg;
    }
}

}  // namespace
