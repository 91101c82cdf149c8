// The exported interface: context sizes, the encoder's switch to stereo, the
// decoder's hold-back and first-call silence, and its sample output. (Packet
// lengths by rate and copies: the encoder's robustness test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "codec_session.h"
#include "core/decoder_noise.h"
#include "interface/decoder_context.h"
#include "interface/encoder_context.h"
#include "interface/pcm.h"
#include "test_signals.h"

namespace {

static_assert(DREMKO_MAX_PACKET_BYTES == 528, "two parts of a full main frame and four copies");

TEST(Interface, ContextSizesAndNullContexts) {
    EXPECT_EQ(Dremko_SizeofEncoderContext(), 40924);
    EXPECT_LE(sizeof(DremkoEncoderContext), 40924u);
    EXPECT_EQ(Dremko_InitEncoderContext(nullptr, 64000, 0), 1);
    int16_t pcm[2 * kFrameSamples] = {};
    uint8_t packet[528];
    EXPECT_EQ(Dremko_EncodeFrame(nullptr, pcm, packet, 2), -1);
    EXPECT_EQ(Dremko_SizeofDecoderContext(), 570240);
    EXPECT_LE(sizeof(DremkoDecoderContext), 570240u);
    EXPECT_EQ(Dremko_InitDecoderContext(nullptr, 0), 1);
}

// A stream switched to stereo by the host starts channel 1 from channel 0's
// history and ring, so its copies continue seamlessly.
TEST(EncoderInterface, HostSwitchToStereoMirrorsChannelZero) {
    EncoderSession enc = MakeEncoder(128000, true);
    auto* ctx = static_cast<DremkoEncoderContext*>(enc.ctx());
    const std::vector<int16_t> a = test_signals::SpeechLike(6);
    std::vector<uint8_t> packet(528);
    ctx->stereo = 0;
    for (int f = 0; f < 3; ++f) Dremko_EncodeFrame(enc.ctx(), a.data() + kFrameSamples * f, packet.data(), 2);
    EXPECT_EQ(0, std::memcmp(ctx->base_ring[0], ctx->base_ring[1], sizeof ctx->base_ring[0]));
    ctx->stereo = 1;
    const std::vector<int16_t> frame = test_signals::Planar(std::vector<int16_t>(a.begin() + 2880, a.begin() + 3840),
                                                            std::vector<int16_t>(a.begin() + 2880, a.begin() + 3840));
    const int32_t part = Dremko_EncodeFrame(enc.ctx(), frame.data(), packet.data(), 2);
    // Both channels saw identical histories and input, so both parts agree.
    EXPECT_EQ(0, std::memcmp(packet.data(), packet.data() + part, static_cast<size_t>(part)));
}

// A main frame at a lower rate is the start of the full-rate frame: the
// encoder codes only the words it keeps (an odd last byte is the second half
// of its word, so that whole word), and a frame cut at the base share skips
// the extension altogether.
TEST(EncoderInterface, LowerRateMainFramesStartTheFullRateFrames) {
    const std::vector<int16_t> speech = test_signals::SpeechLike(20);
    EncoderSession full = MakeEncoder(64000, false);
    const auto full_frames = EncodeAll(full, speech, false, 0);
    for (const int32_t rate : {48000, 50000}) {
        EncoderSession cut = MakeEncoder(rate, false);
        const auto frames = EncodeAll(cut, speech, false, 0);
        ASSERT_EQ(frames.size(), full_frames.size());
        for (size_t f = 0; f < frames.size(); ++f) {
            ASSERT_EQ(frames[f].size(), static_cast<size_t>(DREMKO_MAIN_FRAME_BYTES(rate)));
            EXPECT_TRUE(std::equal(frames[f].begin(), frames[f].end(), full_frames[f].begin())) << rate << " " << f;
        }
    }
}

TEST(DecoderInterface, FirstCallIsSilentThenOneFramePerPacket) {
    for (bool stereo : {false, true}) {
        const std::vector<int16_t> a = test_signals::Chords(12);
        EncoderSession enc = MakeEncoder(stereo ? 128000 : 64000, stereo);
        const auto packets = EncodeAll(enc, stereo ? test_signals::Planar(a, a) : a, stereo, 1);
        DecoderSession dec = MakeDecoder(64000, 1, stereo);
        const size_t frame = stereo ? 2 * kFrameSamples : kFrameSamples;
        std::vector<int16_t> out(21 * frame, 1234);
        int32_t delivered = -1;
        Dremko_DecodeFrame(dec.ctx(), packets[0].data(), out.data(), 0, &delivered);
        EXPECT_EQ(delivered, 1);
        EXPECT_TRUE(std::all_of(out.begin(), out.begin() + static_cast<long>(frame), [](int16_t v) { return v == 0; }));
        EXPECT_EQ(out[frame], 1234) << "the first call writes one frame only";
        const DecodeResult rest = DecodeAll(dec, {packets.begin() + 1, packets.end()}, {}, stereo);
        for (int32_t d : rest.delivered) EXPECT_EQ(d, 1);
    }
}

TEST(DecoderInterface, PcmIsHeldToSixteenBitsAndTruncatedTowardZero) {
    // Samples go eight at a time: the special values sit in both full groups,
    // and the last three fall in a group of fewer than eight.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float in[] = {1.9f,  -1.9f, 0.5f,   -0.5f,   40000.0f, -40000.0f, 32767.9f, -32768.9f, nan, inf,
                        -inf,  -2.0e9f, 3.0e9f, -32767.5f, nan,    inf,       -32768.0f, 32767.0f, nan, -5.0e9f};
    const int16_t expected[] = {1,      -1,     0,      0,      32767,  -32768, 32767,  -32768, -32768, 32767,
                                -32768, -32768, 32767,  -32767, -32768, 32767,  -32768, 32767,  -32768, -32768};
    constexpr int kCount = sizeof in / sizeof in[0];
    int16_t out[kCount + 1];
    out[kCount] = 1234;
    ToPcm16(in, out, kCount);
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(out[i], expected[i]) << "sample " << i;
    EXPECT_EQ(out[kCount], 1234) << "nothing is written past the samples";
}

// A stereo stream played on mono output still decodes channel 1's main
// frames: they advance the noise generators every decoder shares, so channel
// 0 comes out exactly as from a stereo decoder fed the same packets.
TEST(DecoderInterface, StereoStreamOnMonoOutputStillDecodesChannelOne) {
    const std::vector<int16_t> a = test_signals::SpeechLike(30);
    const std::vector<int16_t> b = test_signals::Noise(30, 2000.0);
    EncoderSession enc = MakeEncoder(96000, true);
    const auto packets = EncodeAll(enc, test_signals::Planar(a, b), true, 2);

    const NoiseGenerator base = BaseLayerNoise, ext = ExtLayerNoise;
    const uint16_t high = HighBandNoiseState;
    DecoderSession stereo_dec = MakeDecoder(48000, 2, true);
    const DecodeResult stereo = DecodeAll(stereo_dec, packets, {}, true);

    BaseLayerNoise = base, ExtLayerNoise = ext, HighBandNoiseState = high;
    DecoderSession mono_dec = MakeDecoder(48000, 2, false);
    static_cast<DremkoDecoderContext*>(mono_dec.ctx())->stream_stereo = 1;  // as a host says so
    const DecodeResult mono = DecodeAll(mono_dec, packets, {}, false);

    ASSERT_EQ(mono.pcm.size() * 2, stereo.pcm.size());
    for (size_t f = 0; f < mono.delivered.size(); ++f)
        ASSERT_TRUE(std::equal(&mono.pcm[f * kFrameSamples], &mono.pcm[(f + 1) * kFrameSamples], &stereo.pcm[f * 2 * kFrameSamples]))
            << "frame " << f;
}

}  // namespace
