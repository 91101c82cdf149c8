// Rebuilding lost packets: which neighbours a concealed run inside the gap
// is drawn between.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "codec_session.h"
#include "interface/decoder_context.h"
#include "test_signals.h"

namespace {

using Frame = std::vector<float>;

// Inside the walk, a concealed run whose newer side holds only frames that
// were themselves concealed or decoded as older neighbours uses the stored
// packet's frame as its newer neighbour.
TEST(RecoveryEndToEnd, NewerNeighbourIsTheStoredFrameUntilACopyFillsItsSlot) {
    const std::vector<int16_t> a = test_signals::SpeechLike(12);
    EncoderSession enc = MakeEncoder(64000, false);
    const auto packets = EncodeAll(enc, a, false, 2);  // copies of t-2 and t-4
    DecoderSession dec = MakeDecoder(64000, 2, false);
    auto* ctx = static_cast<DremkoDecoderContext*>(dec.ctx());
    std::vector<int16_t> out(21 * 960);
    int32_t delivered = 0;
    Dremko_DecodeFrame(dec.ctx(), packets[0].data(), out.data(), 0, &delivered);
    Dremko_DecodeFrame(dec.ctx(), packets[6].data(), out.data(), 5, &delivered);
    // The packet after the gap carries no copies: entries m-1, m-3, m-5 are
    // absent, m-2 and m-4 come from the stored packet.
    DremkoSetDecoderRdpBits(dec.ctx(), 0);
    std::vector<uint8_t> bare(packets[7].begin(), packets[7].begin() + kCoreFrameBytes);
    const int32_t first = ctx->ring_read;
    Dremko_DecodeFrame(dec.ctx(), bare.data(), out.data(), 0, &delivered);
    ASSERT_EQ(delivered, 6);
    const float* frame_m3 = ctx->frame_ring[0][(first + 2) % kRingFrames];  // concealed alone
    const float* frame_m4 = ctx->frame_ring[0][(first + 1) % kRingFrames];  // from the stored packet's copy
    const float* frame_m2 = ctx->frame_ring[0][(first + 3) % kRingFrames];  // from the stored packet's copy
    const float* frame_m = ctx->frame_ring[0][(first + 5) % kRingFrames];   // the stored packet's frame
    int blended_with_stored = 0, blended_with_m2 = 0;
    for (int k = 40; k < kFrameSamples; ++k) {
        const float magnitude = std::fabs(frame_m3[k]);
        blended_with_stored += magnitude == 0.5f * (std::fabs(frame_m4[k]) + std::fabs(frame_m[k]));
        blended_with_m2 += magnitude == 0.5f * (std::fabs(frame_m4[k]) + std::fabs(frame_m2[k]));
    }
    EXPECT_EQ(blended_with_stored, kFrameSamples - 40);
    EXPECT_LT(blended_with_m2, kFrameSamples - 40);
}

}  // namespace
