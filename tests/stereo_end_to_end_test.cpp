// Stereo streams end to end through the exported interface: the reported level
// follows the dominant channel, and each decoded channel follows its own input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec_session.h"
#include "test_signals.h"

namespace {

constexpr int kSegmentFrames = 100;  // the loud channel swaps every 2 s
constexpr int kSegments = 4;
constexpr int kFrames = kSegmentFrames * kSegments;
constexpr int kTotalRate = 96000;  // 48 kbit/s per channel
constexpr int kDelay = 2 * kFrameSamples;  // one packet held back by the decoder, one frame of MDCT overlap

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

// Normalised correlation of output and input, the output lagging by `lag` samples.
double Correlation(const std::vector<int16_t>& out, const std::vector<int16_t>& in, int lag) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t n = 0; n + lag < out.size(); ++n) {
        const double x = in[n], y = out[n + lag];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// SNR in dB of the output against the input over frames [first, last).
double SegmentSnr(const std::vector<int16_t>& out, const std::vector<int16_t>& in, int first, int last) {
    double signal = 0, noise = 0;
    for (int n = first * kFrameSamples; n < last * kFrameSamples; ++n) {
        const double x = in[n], e = out[n + kDelay] - x;
        signal += x * x;
        noise += e * e;
    }
    return 10.0 * std::log10(signal / (noise + 1e-9));
}

// Each channel of the stereo encoder is coded as a mono encoder would code
// it, so the reported level must be one of the two mono levels, and it must be
// the loud channel's a few frames after each swap. Decoded, each channel
// follows its own input.
TEST(StereoEndToEnd, ReportedLevelFollowsTheDominantChannelAndEachChannelItsInput) {
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

    DecoderSession dec = MakeDecoder(kTotalRate / 2, 0, true);
    const DecodeResult decoded = DecodeAll(dec, stereo.packets, {}, true);
    for (int32_t d : decoded.delivered) ASSERT_EQ(d, 1);
    ASSERT_EQ(decoded.pcm.size(), static_cast<size_t>(kFrames) * 2 * kFrameSamples);

    std::vector<int16_t> out[2];
    for (int f = 0; f < kFrames; ++f)
        for (int ch = 0; ch < 2; ++ch)
            out[ch].insert(out[ch].end(), decoded.pcm.begin() + (2 * f + ch) * kFrameSamples,
                           decoded.pcm.begin() + (2 * f + ch + 1) * kFrameSamples);

    for (int ch = 0; ch < 2; ++ch) {
        SCOPED_TRACE(ch);
        // The output lines up with its own input two frames late, and not with the other channel.
        const double aligned = Correlation(out[ch], scene.channel[ch], kDelay);
        EXPECT_GT(aligned, 0.95);
        for (int lag : {kDelay - kFrameSamples, kDelay - 1, kDelay + 1, kDelay + kFrameSamples})
            EXPECT_LT(Correlation(out[ch], scene.channel[ch], lag), aligned) << lag;
        EXPECT_LT(std::fabs(Correlation(out[ch], scene.channel[1 - ch], kDelay)), 0.1);
        // Loud or 30 dB down, each channel is coded on its own scale.
        for (int seg = 0; seg < kSegments; ++seg) {
            const int last = seg == kSegments - 1 ? kFrames - 2 : (seg + 1) * kSegmentFrames;
            EXPECT_GT(SegmentSnr(out[ch], scene.channel[ch], seg * kSegmentFrames, last), 12.0) << "segment " << seg;
        }
    }
}

}  // namespace
