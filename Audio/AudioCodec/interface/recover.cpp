// Rebuilding the frames lost before the stored packet: from the redundant
// copies of the two packets in hand where they exist, concealed elsewhere.
#include <cstring>

#include "conceal/conceal.h"
#include "interface/decoder_context.h"

namespace {

constexpr int kCandidates = 8;

int32_t RingSlot(int32_t slot) { return ((slot % kRingFrames) + kRingFrames) % kRingFrames; }

// Copy j of a channel part holds the frame 2(j + 1) frames older than its
// main frame; a clear mask bit leaves it absent.
void CopyPointers(const uint8_t* part, int32_t main_bytes, uint16_t mask, const uint8_t* copies[4]) {
    const uint8_t* next = part + main_bytes;
    for (int j = 0; j < 4; ++j) {
        copies[j] = nullptr;
        if (mask & (1u << j)) {
            copies[j] = next;
            next += kCopyBytes;
        }
    }
}

// Entry k points at the copy of frame m - 1 - k. The current packet's copies
// fill the even entries only when an even number of packets was lost
// between the two packets in hand.
void Candidates(const uint8_t* prev[4], const uint8_t* cur[4], int32_t loss, const uint8_t* out[kCandidates]) {
    const bool even_loss = loss == 0 || loss == 2 || loss == 4 || loss == 6;
    const int32_t h = even_loss ? loss / 2 : 4;
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = i + h < 4 ? cur[i + h] : nullptr;
        out[2 * i + 1] = prev[i];
    }
}

struct Recovery {
    DremkoDecoderContext* ctx;
    bool stereo_out;
    const uint8_t* candidates[2][kCandidates];
};

void DecodeCopy(const Recovery& r, int entry, float* out0, float* out1) {
    DremkoDecoderContext* ctx = r.ctx;
    DecodeChannelFrame(&ctx->core[0], r.candidates[0][entry], ctx->copy_bits, out0);
    if (r.stereo_out) DecodeChannelFrame(&ctx->core[1], r.candidates[1][entry], ctx->copy_bits, out1);
}

// Conceals n frames between the neighbours; frame n - 1 goes to slot `newest`
// and the older ones to the slots before it.
void ConcealRun(const Recovery& r, const float* older[2], const float* newer[2], int32_t n, int32_t newest) {
    DremkoDecoderContext* ctx = r.ctx;
    if (r.stereo_out)
        ConcealFramesStereo(ctx->noise_seeds, older[0], newer[0], ctx->conceal_out[0][0], older[1], newer[1],
                            ctx->conceal_out[1][0], n);
    else
        ConcealFrames(ctx->noise_seeds, older[0], newer[0], n, ctx->conceal_out[0][0]);
    const int channels = r.stereo_out ? 2 : 1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t slot = RingSlot(newest - (n - 1 - i));
        for (int ch = 0; ch < channels; ++ch)
            std::memcpy(ctx->frame_ring[ch][slot], ctx->conceal_out[ch][i], sizeof(float) * kFrameSamples);
    }
}

}  // namespace

void RecoverLostFrames(DremkoDecoderContext* ctx, const uint8_t* packet, int32_t loss, const float* a, const float* b) {
    Recovery r{ctx, ctx->stereo_configured != 0, {}};
    const uint8_t* prev[2][4];
    const uint8_t* cur[2][4];
    const uint16_t current_mask = static_cast<uint16_t>(ctx->rdp_bits & 15);
    CopyPointers(ctx->stored_packet, ctx->stored_main_bytes, ctx->stored_rdp_bits, prev[0]);
    CopyPointers(packet, ctx->main_bytes, current_mask, cur[0]);
    if (ctx->stream_stereo) {
        CopyPointers(ctx->stored_packet + ctx->stored_part_bytes, ctx->stored_main_bytes, ctx->stored_rdp_bits,
                     prev[1]);
        CopyPointers(packet + ctx->part_bytes, ctx->main_bytes, current_mask, cur[1]);
    } else {
        std::memcpy(prev[1], prev[0], sizeof prev[0]);
        std::memcpy(cur[1], cur[0], sizeof cur[0]);
    }
    Candidates(prev[0], cur[0], loss, r.candidates[0]);
    Candidates(prev[1], cur[1], loss, r.candidates[1]);

    // The plan: H older frames concealed, K frames from copies or concealed
    // between copies, T in all, newest (frame m - 1) at slot pos.
    const int32_t q = ctx->pending_loss;
    const int32_t free_slots = kRingFrames - ctx->ring_count;
    const int32_t n = q < free_slots - 1 ? q : free_slots - 1;
    int32_t h = 0;
    if (q > 8) h = n - 8 < 1 ? 1 : (n - 8 > 12 ? 12 : n - 8);
    int32_t k_run = n - h < kCandidates ? n - h : kCandidates;
    int32_t t = k_run + h;
    int32_t pos = RingSlot(ctx->ring_write + t - 1);
    const int32_t search_end = q < kCandidates ? q : kCandidates;

    const float* newest_known[2] = {a, b};
    float temp[2][kFrameSamples];
    bool decoded_in_place = false;  // a copy went straight into its slot
    int32_t j = 0;
    while (j < k_run) {
        if (r.candidates[0][j]) {
            DecodeCopy(r, j, ctx->frame_ring[0][pos], ctx->frame_ring[1][pos]);
            pos = RingSlot(pos - 1);
            ++j;
            decoded_in_place = true;
            continue;
        }
        int32_t k = j + 1;
        while (k < search_end && !r.candidates[0][k]) ++k;
        if (k >= search_end) {
            // No copy left: the rest joins the older concealed run.
            h = h + k_run - j < kMaxInsertedFrames ? h + k_run - j : kMaxInsertedFrames;
            k_run = j;
            t = k_run + h;
            break;
        }
        int32_t g;
        int32_t e;
        const float* older[2];
        if (k < k_run) {
            g = k - j;
            e = 1;
            const int32_t slot = RingSlot(pos - g);
            DecodeCopy(r, k, ctx->frame_ring[0][slot], ctx->frame_ring[1][slot]);
            older[0] = ctx->frame_ring[0][slot];
            older[1] = ctx->frame_ring[1][slot];
        } else {
            g = k_run - j;
            e = 0;
            DecodeCopy(r, k, temp[0], temp[1]);
            older[0] = temp[0];
            older[1] = temp[1];
        }
        const int32_t after = RingSlot(pos + 1);
        const float* in_ring[2] = {ctx->frame_ring[0][after], ctx->frame_ring[1][after]};
        ConcealRun(r, older, decoded_in_place ? in_ring : newest_known, g, pos);
        pos = RingSlot(pos - g - e);
        j += g + e;
    }

    if (h >= 1) {
        const int32_t after = RingSlot(pos + 1);
        const float* in_ring[2] = {ctx->frame_ring[0][after], ctx->frame_ring[1][after]};
        const float* older[2] = {ctx->last_good[0], ctx->last_good[1]};
        ConcealRun(r, older, k_run == 0 ? newest_known : in_ring, h, pos);
    }
    ctx->ring_write = RingSlot(ctx->ring_write + t);
    ctx->ring_count += t;
}
