// Rebuilding the frames lost before the stored packet: from the redundant
// copies of the two packets in hand where they exist, concealed elsewhere.
#include <algorithm>
#include <cstring>

#include "conceal/conceal.h"
#include "interface/decoder_context.h"

namespace {

// One entry per frame the two packets' copies can reach: each packet covers
// every other frame.
constexpr int kCandidates = 2 * kMaxCopies;

int32_t RingSlot(int32_t slot) { return ((slot % kRingFrames) + kRingFrames) % kRingFrames; }

// Copy j of a channel part holds the frame 2(j + 1) frames older than its
// main frame; a clear mask bit leaves it absent.
void CopyPointers(const uint8_t* part, int32_t main_bytes, uint16_t mask, const uint8_t* copies[kMaxCopies]) {
    int present = 0;
    for (int j = 0; j < kMaxCopies; ++j) {
        copies[j] = nullptr;
        if (mask & (1u << j)) copies[j] = part + CopyOffset(main_bytes, present++);
    }
}

// Entry k points at the copy of frame m - 1 - k, m being the stored packet's
// frame. The stored packet's copies are the odd entries. The new packet
// comes `loss` + 1 frames after it, so its copy i is of frame
// m - 1 - (2i - loss): with an even loss its copies from i = loss / 2 on fill
// the even entries (the earlier ones are of frames after m), with an odd loss
// they would repeat odd entries and none is used.
void Candidates(const uint8_t* stored[kMaxCopies], const uint8_t* newer[kMaxCopies], int32_t loss,
                const uint8_t* out[kCandidates]) {
    const bool even_loss = loss == 0 || loss == 2 || loss == 4 || loss == 6;
    const int32_t first_used = even_loss ? loss / 2 : kMaxCopies;
    for (int i = 0; i < kMaxCopies; ++i) {
        out[2 * i] = i + first_used < kMaxCopies ? newer[i + first_used] : nullptr;
        out[2 * i + 1] = stored[i];
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

// Conceals `frames` frames between the neighbours; the newest goes to slot
// `newest` and the older ones to the slots before it.
void ConcealRun(const Recovery& r, const float* older[2], const float* newer[2], int32_t frames, int32_t newest) {
    DremkoDecoderContext* ctx = r.ctx;
    if (r.stereo_out)
        ConcealFramesStereo(ctx->noise_seeds, older[0], newer[0], ctx->conceal_out[0][0], older[1], newer[1],
                            ctx->conceal_out[1][0], frames);
    else
        ConcealFrames(ctx->noise_seeds, older[0], newer[0], frames, ctx->conceal_out[0][0]);
    const int channels = r.stereo_out ? 2 : 1;
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t slot = RingSlot(newest - (frames - 1 - i));
        for (int ch = 0; ch < channels; ++ch)
            std::memcpy(ctx->frame_ring[ch][slot], ctx->conceal_out[ch][i], sizeof(float) * kFrameSamples);
    }
}

// Both channels' copy entries: of the stored packet and of the new one.
void FindCandidates(const DremkoDecoderContext* ctx, const uint8_t* packet, int32_t loss, Recovery* r) {
    const uint8_t* stored_copies[2][kMaxCopies];
    const uint8_t* new_copies[2][kMaxCopies];
    const uint16_t new_mask = static_cast<uint16_t>(ctx->rdp_bits & 15);
    CopyPointers(ctx->stored_packet, ctx->stored_main_bytes, ctx->stored_rdp_bits, stored_copies[0]);
    CopyPointers(packet, ctx->main_bytes, new_mask, new_copies[0]);
    if (ctx->stream_stereo) {
        CopyPointers(ctx->stored_packet + ctx->stored_part_bytes, ctx->stored_main_bytes, ctx->stored_rdp_bits,
                     stored_copies[1]);
        CopyPointers(packet + ctx->part_bytes, ctx->main_bytes, new_mask, new_copies[1]);
    } else {
        std::memcpy(stored_copies[1], stored_copies[0], sizeof stored_copies[0]);
        std::memcpy(new_copies[1], new_copies[0], sizeof new_copies[0]);
    }
    Candidates(stored_copies[0], new_copies[0], loss, r->candidates[0]);
    Candidates(stored_copies[1], new_copies[1], loss, r->candidates[1]);
}

// The plan for the gap before the stored frame m, held to the ring's room:
// its newest frames (up to the copies' reach of eight) are walked from the
// copies, its oldest, beyond that reach, concealed in one run after the
// stored frame's predecessor (`last_good`). `slot` is where frame
// m - 1 - entry goes.
struct GapPlan {
    int32_t walked;
    int32_t oldest_concealed;
    int32_t inserted;
    int32_t slot;
    int32_t reach;
};

GapPlan PlanGap(const DremkoDecoderContext* ctx) {
    const int32_t gap = ctx->pending_loss;
    const int32_t free_slots = kRingFrames - ctx->ring_count;
    const int32_t placed = std::min(gap, free_slots - 1);
    GapPlan plan{};
    constexpr int32_t kMostConcealedBeyondReach = kMaxInsertedFrames - kCandidates;
    const int32_t beyond_reach = placed - kCandidates;
    if (gap > kCandidates) plan.oldest_concealed = std::min(std::max(beyond_reach, 1), kMostConcealedBeyondReach);
    plan.walked = std::min(placed - plan.oldest_concealed, kCandidates);
    plan.inserted = plan.walked + plan.oldest_concealed;
    plan.slot = RingSlot(ctx->ring_write + plan.inserted - 1);
    plan.reach = std::min(gap, kCandidates);
    return plan;
}

// Walks the plan's newest frames from the copies, concealing the runs
// between them; when no copy is left, the rest joins the older concealed
// run.
void WalkCopies(const Recovery& r, const float* stored_frame[2], GapPlan* plan) {
    DremkoDecoderContext* ctx = r.ctx;
    float beyond_walk[2][kFrameSamples];
    bool decoded_in_place = false;  // a copy went straight into its slot
    int32_t entry = 0;
    while (entry < plan->walked) {
        if (r.candidates[0][entry]) {
            DecodeCopy(r, entry, ctx->frame_ring[0][plan->slot], ctx->frame_ring[1][plan->slot]);
            plan->slot = RingSlot(plan->slot - 1);
            ++entry;
            decoded_in_place = true;
            continue;
        }
        int32_t next_copy = entry + 1;
        while (next_copy < plan->reach && !r.candidates[0][next_copy]) ++next_copy;
        if (next_copy >= plan->reach) {
            plan->oldest_concealed = std::min(plan->oldest_concealed + plan->walked - entry, kMaxInsertedFrames);
            plan->walked = entry;
            plan->inserted = plan->walked + plan->oldest_concealed;
            break;
        }
        // The frames up to the next copy are concealed between it and the
        // newer neighbour. A copy inside the walk takes its own slot; one
        // beyond it serves only as the older neighbour.
        int32_t run;
        int32_t copy_placed;
        const float* older[2];
        if (next_copy < plan->walked) {
            run = next_copy - entry;
            copy_placed = 1;
            const int32_t copy_slot = RingSlot(plan->slot - run);
            DecodeCopy(r, next_copy, ctx->frame_ring[0][copy_slot], ctx->frame_ring[1][copy_slot]);
            older[0] = ctx->frame_ring[0][copy_slot];
            older[1] = ctx->frame_ring[1][copy_slot];
        } else {
            run = plan->walked - entry;
            copy_placed = 0;
            DecodeCopy(r, next_copy, beyond_walk[0], beyond_walk[1]);
            older[0] = beyond_walk[0];
            older[1] = beyond_walk[1];
        }
        // Until a copy has gone into the ring the newer neighbour is the
        // stored frame, afterwards the frame in the slot after the run.
        const int32_t after = RingSlot(plan->slot + 1);
        const float* in_ring[2] = {ctx->frame_ring[0][after], ctx->frame_ring[1][after]};
        ConcealRun(r, older, decoded_in_place ? in_ring : stored_frame, run, plan->slot);
        plan->slot = RingSlot(plan->slot - run - copy_placed);
        entry += run + copy_placed;
    }
}

}  // namespace

void RecoverLostFrames(DremkoDecoderContext* ctx, const uint8_t* packet, int32_t loss, const float* stored0,
                       const float* stored1) {
    Recovery r{ctx, ctx->stereo_configured != 0, {}};
    FindCandidates(ctx, packet, loss, &r);
    GapPlan plan = PlanGap(ctx);
    const float* stored_frame[2] = {stored0, stored1};
    WalkCopies(r, stored_frame, &plan);
    if (plan.oldest_concealed >= 1) {
        const int32_t after = RingSlot(plan.slot + 1);
        const float* in_ring[2] = {ctx->frame_ring[0][after], ctx->frame_ring[1][after]};
        const float* older[2] = {ctx->last_good[0], ctx->last_good[1]};
        ConcealRun(r, older, plan.walked == 0 ? stored_frame : in_ring, plan.oldest_concealed, plan.slot);
    }
    ctx->ring_write = RingSlot(ctx->ring_write + plan.inserted);
    ctx->ring_count += plan.inserted;
}
