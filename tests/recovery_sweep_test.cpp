// Rebuilding after loss, swept over gap lengths, the loss count handed with
// the following packet, copy masks and output modes: every call delivers
// the right number of frames, and every delivered frame was written during
// that call (no stale ring content reaches the output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "codec_session.h"
#include "interface/decoder_context.h"
#include "test_signals.h"

namespace {

constexpr int kMain = kCoreFrameBytes;  // 64000 bit/s per channel

// Keeps the main frame and the copies whose mask bit is set, per channel.
std::vector<uint8_t> WithMask(const std::vector<uint8_t>& full, int channels, int mask) {
    const size_t full_part = PartBytes(kMain, kMaxCopies);
    std::vector<uint8_t> out;
    for (int ch = 0; ch < channels; ++ch) {
        const uint8_t* part = full.data() + ch * full_part;
        out.insert(out.end(), part, part + kMain);
        for (int j = 0; j < kMaxCopies; ++j)
            if (mask & (1 << j)) out.insert(out.end(), part + CopyOffset(kMain, j), part + CopyOffset(kMain, j + 1));
    }
    return out;
}

void PoisonRing(DremkoDecoderContext* ctx) {
    std::fill(&ctx->frame_ring[0][0][0], &ctx->frame_ring[0][0][0] + 2 * kRingFrames * kFrameSamples,
              std::numeric_limits<float>::quiet_NaN());
}

bool SlotsWritten(const DremkoDecoderContext* ctx, int32_t first, int32_t count, int channels) {
    for (int32_t i = 0; i < count; ++i)
        for (int ch = 0; ch < channels; ++ch) {
            const float* slot = ctx->frame_ring[ch][(first + i) % kRingFrames];
            if (std::any_of(slot, slot + kFrameSamples, [](float v) { return std::isnan(v); })) return false;
        }
    return true;
}

struct Stream {
    std::vector<std::vector<uint8_t>> packets;  // all four copies present
};

Stream EncodeStream(bool stereo, int frames) {
    const std::vector<int16_t> a = test_signals::SpeechLike(frames);
    const std::vector<int16_t> b = test_signals::Chords(frames);
    EncoderSession enc = MakeEncoder(stereo ? 128000 : 64000, stereo);
    return {EncodeAll(enc, stereo ? test_signals::Planar(a, b) : a, stereo, 4)};
}

TEST(RecoverySweep, DeliveredCountsAndFreshFrames) {
    for (bool stereo : {false, true}) {
        const Stream stream = EncodeStream(stereo, 48);
        const int channels = stereo ? 2 : 1;
        for (int mask = 0; mask < 16; ++mask) {
            std::vector<std::vector<uint8_t>> packets;
            for (const auto& p : stream.packets) packets.push_back(WithMask(p, channels, mask));
            for (int gap = 1; gap <= 30; ++gap) {
                for (int next_loss = 0; next_loss <= 9; ++next_loss) {
                    if (stereo && (gap % 3 != 0 && gap > 10)) continue;  // keep the stereo sweep short
                    DecoderSession dec = MakeDecoder(64000, 0, stereo);
                    DremkoSetDecoderRdpBits(dec.ctx(), static_cast<uint16_t>(mask));
                    auto* ctx = static_cast<DremkoDecoderContext*>(dec.ctx());
                    // Packets sent: 0, 1, then `gap` lost, then two, then
                    // `next_loss` lost, then three more.
                    const std::vector<int32_t> losses = {0, 0, gap, next_loss, 0, 0};
                    const size_t sent[] = {0, 1, static_cast<size_t>(2 + gap), static_cast<size_t>(3 + gap),
                                           static_cast<size_t>(4 + gap + next_loss),
                                           static_cast<size_t>(5 + gap + next_loss)};
                    std::vector<int16_t> out(21 * 1920);
                    int32_t pending = 0;
                    for (size_t call = 0; call < 6; ++call) {
                        PoisonRing(ctx);
                        const int32_t first_slot = ctx->ring_read;
                        int32_t delivered = -1;
                        Dremko_DecodeFrame(dec.ctx(), packets[sent[call]].data(), out.data(), losses[call],
                                           &delivered);
                        const int32_t expected = call == 0 ? 1 : 1 + std::min(pending, 20);
                        ASSERT_EQ(delivered, expected) << "stereo " << stereo << " mask " << mask << " gap "
                                                       << gap << " next loss " << next_loss << " call " << call;
                        if (call > 0)
                            ASSERT_TRUE(SlotsWritten(ctx, first_slot, delivered, channels))
                                << "stereo " << stereo << " mask " << mask << " gap " << gap << " next loss "
                                << next_loss << " call " << call;
                        pending = losses[call];
                    }
                }
            }
        }
    }
}

// Negative and huge loss counts rebuild nothing and never more than 20.
TEST(RecoverySweep, OddLossCounts) {
    const Stream stream = EncodeStream(false, 8);
    DecoderSession dec = MakeDecoder(64000, 4, false);
    const DecodeResult r =
        DecodeAll(dec, stream.packets, {0, -5, 0, 2147483647, 0, -2147483647 - 1, 0, 0}, false);
    const std::vector<int32_t> expected = {1, 1, 1, 1, 21, 1, 1, 1};
    EXPECT_EQ(r.delivered, expected);
}

}  // namespace
