// The encoder's exported interface: context, packet lengths, redundant copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec_session.h"
#include "interface/encoder_context.h"
#include "test_signals.h"

namespace {

TEST(EncoderInterface, ContextSizeAndNullContext) {
    EXPECT_EQ(Dremko_SizeofEncoderContext(), 40924);
    EXPECT_LE(sizeof(DremkoEncoderContext), 40924u);
    EXPECT_EQ(Dremko_InitEncoderContext(nullptr, 64000, 0), 1);
    int16_t pcm[2 * kFrameSamples] = {};
    uint8_t packet[kMaxPacketBytes];
    EXPECT_EQ(Dremko_EncodeFrame(nullptr, pcm, packet, 2), -1);
}

TEST(EncoderInterface, InitZeroesTheContextAndHalvesStereoRates) {
    EncoderSession mono = MakeEncoder(64000, false);
    EncoderSession stereo = MakeEncoder(100001, true);
    auto* m = static_cast<DremkoEncoderContext*>(mono.ctx());
    auto* s = static_cast<DremkoEncoderContext*>(stereo.ctx());
    EXPECT_EQ(m->bit_rate, 64000);
    EXPECT_EQ(s->bit_rate, 50000);
    EXPECT_EQ(m->channel[0].core.split_index, -1);
    EXPECT_EQ(m->channel[1].core.split_index, -1);
    // Memory was filled with 0xA5 before Init: nothing of it may survive in
    // the fields Init leaves at zero.
    EXPECT_TRUE(std::all_of(&m->analysis_window[0][0], &m->analysis_window[0][0] + 2 * 1920,
                            [](int16_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(&m->base_ring[0][0][0], &m->base_ring[0][0][0] + sizeof m->base_ring,
                            [](uint8_t v) { return v == 0; }));
    EXPECT_EQ(DremkoEncoder_GetSpeechDetect(mono.ctx()), 0);
    EXPECT_EQ(DremkoEncoder_GetEnergy(mono.ctx()), 0);
    EXPECT_EQ(DremkoEncoder_GetRP(mono.ctx()), 0);
}

struct LengthCase {
    int32_t total_rate;
    bool stereo;
    int32_t requested;
    int32_t part;
    int32_t copies;
};

TEST(EncoderInterface, PacketLengthsFollowRateAndCopies) {
    const LengthCase cases[] = {
        {48000, false, 0, 120, 0},  {24000, false, 0, 120, 0},   {-5, false, 1, 146, 1},
        {56000, false, 2, 192, 2},  {64000, false, 4, 264, 4},   {64399, false, 0, 160, 0},
        {64400, false, 0, 160, 0},  {1000000, false, 3, 238, 3}, {100000, true, 2, 177, 2},
        {128000, true, -3, 160, 0}, {96000, true, 9, 224, 4},
    };
    const std::vector<int16_t> pcm = test_signals::Noise(2, 3000.0);
    for (const LengthCase& c : cases) {
        EncoderSession enc = MakeEncoder(c.total_rate, c.stereo);
        std::vector<uint8_t> packet(600, 0xEE);
        const std::vector<int16_t> input = c.stereo ? test_signals::Planar(pcm, pcm) : pcm;
        const int32_t part = Dremko_EncodeFrame(enc.ctx(), input.data(), packet.data(), c.requested);
        EXPECT_EQ(part, c.part) << "rate " << c.total_rate;
        EXPECT_EQ(DremkoEncoder_GetRP(enc.ctx()), c.copies);
        const size_t packet_bytes = static_cast<size_t>(c.stereo ? 2 * part : part);
        // Nothing is written behind the packet.
        EXPECT_TRUE(std::all_of(packet.begin() + static_cast<long>(packet_bytes), packet.end(),
                                [](uint8_t b) { return b == 0xEE; }))
            << "rate " << c.total_rate;
    }
}

// Copy i of frame t is the first 26 bytes of frame t - 2i's main frame;
// copies of frames before the first are zero.
TEST(EncoderInterface, CopiesRepeatTheBaseLayerOfEarlierFrames) {
    for (bool stereo : {false, true}) {
        const std::vector<int16_t> a = test_signals::SpeechLike(24);
        const std::vector<int16_t> b = test_signals::Chords(24);
        EncoderSession enc = MakeEncoder(stereo ? 112000 : 56000, stereo);
        const auto packets = EncodeAll(enc, stereo ? test_signals::Planar(a, b) : a, stereo, 4);
        const size_t main = 140, part = main + 4 * 26;
        for (size_t t = 0; t < packets.size(); ++t) {
            for (int ch = 0; ch < (stereo ? 2 : 1); ++ch) {
                for (size_t i = 1; i <= 4; ++i) {
                    const uint8_t* copy = packets[t].data() + ch * part + main + 26 * (i - 1);
                    if (t >= 2 * i) {
                        const uint8_t* earlier = packets[t - 2 * i].data() + ch * part;
                        EXPECT_EQ(0, std::memcmp(copy, earlier, 26)) << "frame " << t << " copy " << i;
                    } else {
                        EXPECT_TRUE(std::all_of(copy, copy + 26, [](uint8_t v) { return v == 0; }));
                    }
                }
            }
        }
    }
}

// A stream switched to stereo by the host starts channel 1 from channel 0's
// history and ring, so its copies continue seamlessly.
TEST(EncoderInterface, HostSwitchToStereoMirrorsChannelZero) {
    EncoderSession enc = MakeEncoder(128000, true);
    auto* ctx = static_cast<DremkoEncoderContext*>(enc.ctx());
    const std::vector<int16_t> a = test_signals::SpeechLike(6);
    std::vector<uint8_t> packet(kMaxPacketBytes);
    ctx->stereo = 0;
    for (int f = 0; f < 3; ++f) Dremko_EncodeFrame(enc.ctx(), a.data() + 960 * f, packet.data(), 2);
    EXPECT_EQ(0, std::memcmp(ctx->base_ring[0], ctx->base_ring[1], sizeof ctx->base_ring[0]));
    ctx->stereo = 1;
    const std::vector<int16_t> frame = test_signals::Planar(std::vector<int16_t>(a.begin() + 2880, a.begin() + 3840),
                                                            std::vector<int16_t>(a.begin() + 2880, a.begin() + 3840));
    const int32_t part = Dremko_EncodeFrame(enc.ctx(), frame.data(), packet.data(), 2);
    // Both channels saw identical histories and input, so both parts agree.
    EXPECT_EQ(0, std::memcmp(packet.data(), packet.data() + part, static_cast<size_t>(part)));
}

}  // namespace
