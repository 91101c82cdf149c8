// Rebuilding lost packets on a real-looking signal: frames that a copy in
// the two packets in hand covers are rebuilt from it, the rest concealed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "codec_session.h"
#include "interface/decoder_context.h"
#include "test_signals.h"

namespace {

using Frame = std::vector<float>;

// A copy decoded on its own. The shared noise generators make its noise
// signs differ from any other decode of it, but never its magnitudes.
Frame DecodeCopyAlone(const uint8_t* copy) {
    static CoreDecoderState state;
    Frame out(kFrameSamples);
    DecodeChannelFrame(&state, copy, kCopyBits, out.data());
    return out;
}

bool SameMagnitudes(const float* a, const Frame& b) {
    for (int k = 0; k < kFrameSamples; ++k)
        if (std::fabs(a[k]) != std::fabs(b[k])) return false;
    return true;
}

// Whether frame m - 1 - k is covered by a copy, with the stored packet
// carrying all four copies and the current packet handed with `loss`.
bool Covered(int k, int gap, int loss) {
    if (k >= std::min(gap, 8)) return false;
    if (k % 2 == 1) return true;
    const bool even_loss = loss == 0 || loss == 2 || loss == 4 || loss == 6;
    return even_loss && k / 2 + loss / 2 < 4;
}

struct Tally {
    int rebuilt = 0;
    int concealed = 0;
};

Tally RunWithLoss(const std::vector<bool>& received, bool stereo) {
    const int frames = static_cast<int>(received.size());
    const std::vector<int16_t> a = test_signals::SpeechLike(frames);
    const std::vector<int16_t> b = test_signals::Chords(frames);
    EncoderSession enc = MakeEncoder(stereo ? 128000 : 64000, stereo);
    const auto packets = EncodeAll(enc, stereo ? test_signals::Planar(a, b) : a, stereo, 4);
    DecoderSession dec = MakeDecoder(64000, 4, stereo);
    auto* ctx = static_cast<DremkoDecoderContext*>(dec.ctx());
    const size_t part = PartBytes(kCoreFrameBytes, kMaxCopies);

    std::vector<int16_t> out(21 * 1920);
    Tally tally;
    int stored_gap = 0;
    int lost = 0;
    for (int f = 0; f < frames; ++f) {
        if (!received[f]) {
            ++lost;
            continue;
        }
        const int32_t first = ctx->ring_read;
        int32_t delivered = 0;
        Dremko_DecodeFrame(dec.ctx(), packets[f].data(), out.data(), lost, &delivered);
        if (stored_gap > 0) {
            const int inserted = std::min(stored_gap, 20);
            EXPECT_EQ(delivered, inserted + 1);
            // The stored packet's frame m is the newest delivered; inserted
            // frame m - 1 - k sits k + 1 slots before it.
            const int m = f - lost - 1;
            for (int k = 0; k < inserted; ++k) {
                const int32_t slot = (first + inserted - 1 - k) % kRingFrames;
                if (m - 1 - k < 0) continue;
                bool all_channels_match = true;
                for (int ch = 0; ch < (stereo ? 2 : 1); ++ch) {
                    const Frame alone = DecodeCopyAlone(packets[m - 1 - k].data() + ch * part);
                    all_channels_match = all_channels_match && SameMagnitudes(ctx->frame_ring[ch][slot], alone);
                }
                const bool covered = Covered(k, stored_gap, lost);
                EXPECT_EQ(all_channels_match, covered) << "frame " << m - 1 - k << " gap " << stored_gap;
                ++(covered ? tally.rebuilt : tally.concealed);
            }
        }
        stored_gap = lost;
        lost = 0;
    }
    return tally;
}

TEST(RecoveryEndToEnd, RebuildsFromCopiesWhereTheyCoverTheGap) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const int frames = 400;
    std::vector<bool> random_loss(frames, true), bursty_loss(frames, true);
    bool bad = false;
    for (int f = 12; f < frames - 2; ++f) {
        random_loss[f] = u(rng) >= 0.15;
        bad = bad ? u(rng) >= 0.25 : u(rng) < 0.06;  // bursts of mean length 4
        bursty_loss[f] = !bad;
    }
    for (int f = 300; f < 330; ++f) bursty_loss[f] = false;  // one gap longer than 20 frames
    for (bool stereo : {false, true}) {
        const Tally r = RunWithLoss(random_loss, stereo);
        const Tally b = RunWithLoss(bursty_loss, stereo);
        std::printf("%s: random loss %d rebuilt, %d concealed; bursty loss %d rebuilt, %d concealed\n",
                    stereo ? "stereo" : "mono", r.rebuilt, r.concealed, b.rebuilt, b.concealed);
        EXPECT_GT(r.rebuilt, 3 * r.concealed);
        EXPECT_GT(b.rebuilt, 0);
        EXPECT_GE(b.concealed, 12);  // at least the older part of the long gap
    }
}

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
