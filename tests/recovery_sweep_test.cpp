// Rebuilding lost frames, swept over every gap length the decoder treats
// differently (1 to 8 from copies, 9 to 20 with older frames concealed, more
// than 20 shortened), every loss count that can come with the packet after
// the gap and every copy mask. For each delivered frame the test observes
// whether it was rebuilt from a copy (its coefficients equal those of that
// copy decoded directly, signs included, wherever the noise fill plays no
// part) or concealed, and compares with the rules written out below; and
// which neighbours a concealed run inside the gap is drawn between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "codec_session.h"
#include "copy_without_noise.h"
#include "interface/decoder_context.h"
#include "test_signals.h"

namespace {

constexpr int kMain = kCoreFrameBytes;  // 64000 bit/s per channel
constexpr int kPart = PartBytes(kMain, kMaxCopies);

// Whether frame m - 1 - k is rebuilt from a copy, m being the frame of the
// packet after a gap of `gap` frames, and `loss` the count handed with the
// packet after that. The packet of frame m carries copies of frames m - 2,
// m - 4, m - 6, m - 8 (bits 0 ... 3 of its mask); the next one, frame
// m + 1 + loss, copies of m - 1 + loss - 2i, which fall into the gap only
// for an even loss count. Only the newest eight frames of the gap are
// looked for; older ones, up to 20 in all, are concealed.
bool RebuiltByTheRules(int k, int gap, int loss, int stored_mask, int current_mask) {
    if (k >= std::min(gap, 8)) return false;
    if (k % 2 == 1) return (stored_mask >> (k / 2)) & 1;
    const int copy = (k + loss) / 2;
    return loss >= 0 && loss % 2 == 0 && copy < 4 && ((current_mask >> copy) & 1);
}

// A packet with only the copies whose mask bit is set, per channel.
std::vector<uint8_t> WithMask(const std::vector<uint8_t>& full, int channels, int mask) {
    std::vector<uint8_t> out;
    for (int ch = 0; ch < channels; ++ch) {
        const uint8_t* part = full.data() + ch * kPart;
        out.insert(out.end(), part, part + kMain);
        for (int j = 0; j < kMaxCopies; ++j)
            if (mask & (1 << j)) out.insert(out.end(), part + CopyOffset(kMain, j), part + CopyOffset(kMain, j + 1));
    }
    return out;
}

// Whether `slot` holds the copy's values, signs included, wherever they do
// not come from the noise fill (NaN in `copy`).
bool SameOutsideNoise(const float* slot, const std::vector<float>& copy) {
    for (int k = 0; k < kFrameSamples; ++k)
        if (!std::isnan(copy[k]) && slot[k] != copy[k]) return false;
    return true;
}

void Sweep(bool stereo, const std::vector<int>& masks) {
    const int channels = stereo ? 2 : 1;
    const std::vector<int16_t> a = test_signals::Noise(35, 3000.0, 7), b = test_signals::Noise(35, 2000.0, 8);
    EncoderSession enc = MakeEncoder(channels * 64000, stereo);
    const auto full = EncodeAll(enc, stereo ? test_signals::Planar(a, b) : a, stereo, 4);
    std::vector<std::vector<float>> alone[2];  // each frame's copy decoded directly, per channel, NaN where noise
    for (int ch = 0; ch < channels; ++ch)
        for (const auto& packet : full) alone[ch].push_back(CopyWithoutNoise(packet.data() + ch * kPart));
    DecoderSession dec = MakeDecoder(64000, 0, stereo);
    auto* ctx = static_cast<DremkoDecoderContext*>(dec.ctx());
    std::vector<int16_t> out(DREMKO_MAX_DECODED_FRAMES * 2 * kFrameSamples);
    for (int stored_mask : masks) {
        for (int current_mask : {stored_mask, 15 - stored_mask}) {
            for (int gap = 1; gap <= 22; ++gap) {
                for (int loss = -1; loss <= 9; ++loss) {
                    SCOPED_TRACE(testing::Message() << "stereo " << stereo << " masks " << stored_mask << ", "
                                                    << current_mask << " gap " << gap << " then loss " << loss);
                    const int m = gap + 2;
                    const int next = m + 1 + std::max(loss, 0);
                    Dremko_InitDecoderContext(ctx, stereo);
                    DremkoSetDecoderBitRate(ctx, 64000);
                    DremkoSetDecoderRdpBits(ctx, static_cast<uint16_t>(stored_mask));
                    int32_t delivered = 0;
                    for (int f = 0; f < 2; ++f)
                        Dremko_DecodeFrame(ctx, WithMask(full[f], channels, stored_mask).data(), out.data(), 0,
                                           &delivered);
                    Dremko_DecodeFrame(ctx, WithMask(full[m], channels, stored_mask).data(), out.data(), gap, &delivered);
                    DremkoSetDecoderRdpBits(ctx, static_cast<uint16_t>(current_mask));
                    std::fill(&ctx->frame_ring[0][0][0], &ctx->frame_ring[0][0][0] + 2 * kRingFrames * kFrameSamples,
                              std::numeric_limits<float>::quiet_NaN());
                    const int32_t first = ctx->ring_read;
                    Dremko_DecodeFrame(ctx, WithMask(full[next], channels, current_mask).data(), out.data(), loss,
                                       &delivered);
                    const int inserted = std::min(gap, 20);
                    ASSERT_EQ(delivered, inserted + 1);
                    // Delivered frame i is frame m - inserted + i; the last is frame m itself.
                    for (int i = 0; i <= inserted; ++i) {
                        const int k = inserted - 1 - i;  // frame m - 1 - k
                        for (int ch = 0; ch < channels; ++ch) {
                            const float* slot = ctx->frame_ring[ch][(first + i) % kRingFrames];
                            const bool rebuilt = SameOutsideNoise(slot, alone[ch][m - 1 - k]);
                            ASSERT_TRUE(std::none_of(slot, slot + kFrameSamples, [](float v) { return std::isnan(v); }))
                                << "frame m - " << k + 1 << " channel " << ch << " was not written";
                            if (k >= 0)
                                ASSERT_EQ(rebuilt, RebuiltByTheRules(k, gap, loss, stored_mask, current_mask))
                                    << "frame m - " << k + 1 << " channel " << ch;
                        }
                    }
                }
            }
        }
    }
}

TEST(RecoverySweep, FramesAreRebuiltFromCopiesExactlyWhereTheRulesSay) {
    Sweep(false, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    Sweep(true, {5, 15});
}

// Negative and huge loss counts rebuild nothing and never more than 20.
TEST(RecoverySweep, OddLossCounts) {
    EncoderSession enc = MakeEncoder(64000, false);
    const auto packets = EncodeAll(enc, test_signals::SpeechLike(8), false, 4);
    DecoderSession dec = MakeDecoder(64000, 4, false);
    const DecodeResult r = DecodeAll(dec, packets, {0, -5, 0, 2147483647, 0, -2147483647 - 1, 0, 0}, false);
    EXPECT_EQ(r.delivered, (std::vector<int32_t>{1, 1, 1, 1, 21, 1, 1, 1}));
}

// Inside the walk, a concealed run whose newer side holds only frames that
// were themselves concealed or decoded as older neighbours uses the stored
// packet's frame as its newer neighbour.
TEST(RecoverySweep, NewerNeighbourIsTheStoredFrameUntilACopyFillsItsSlot) {
    const std::vector<int16_t> a = test_signals::SpeechLike(12);
    EncoderSession enc = MakeEncoder(64000, false);
    const auto packets = EncodeAll(enc, a, false, 2);  // copies of t-2 and t-4
    DecoderSession dec = MakeDecoder(64000, 2, false);
    auto* ctx = static_cast<DremkoDecoderContext*>(dec.ctx());
    std::vector<int16_t> out(DREMKO_MAX_DECODED_FRAMES * kFrameSamples);
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
