// The decoder context: one plain structure in caller memory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/core_decoder.h"
#include "interface/packet_layout.h"

constexpr int kDecoderContextBytes = 570240;
constexpr int kRingFrames = 50;
constexpr int kMaxInsertedFrames = DREMKO_MAX_DECODED_FRAMES - 1;  // a decode call delivers them and its own frame

struct DremkoDecoderContext {
    int32_t first_call;
    int32_t stereo_configured;
    int32_t stream_stereo;       // byte offset 8; hosts may write it directly
    int32_t stored_stereo;
    int32_t stream_stereo_seen;
    uint32_t bit_rate;
    uint16_t rdp_bits;
    uint16_t stored_rdp_bits;
    int32_t copy_bits;
    int32_t copy_bytes;
    int32_t stored_main_bits;
    int32_t stored_main_bytes;
    int32_t main_bits;
    int32_t main_bytes;
    int32_t stored_part_bytes;
    int32_t part_bytes;
    uint8_t stored_packet[kMaxPacketBytes];
    float synthesis[2][kFrameSamples / 2];
    int32_t pending_loss;
    float conceal_out[2][kMaxInsertedFrames][kFrameSamples];
    int32_t noise_seeds[4];
    float last_good[2][kFrameSamples];
    float frame_ring[2][kRingFrames][kFrameSamples];
    int32_t ring_write;
    int32_t ring_count;
    int32_t ring_read;
    CoreDecoderState core[2];
};

static_assert(sizeof(DremkoDecoderContext) <= kDecoderContextBytes,
              "the decoder context must fit the size the library reports");
static_assert(offsetof(DremkoDecoderContext, stream_stereo) == 8,
              "hosts write stream_stereo at byte offset 8");

// Core-decodes `bits` bits of `frame` with channel's state and applies the
// decoder gain.
void DecodeChannelFrame(CoreDecoderState* state, const uint8_t* frame, int bits, float* out);
// Fills the gap before the stored packet's frame (decoded into stored0 and
// stored1) into the ring, from the copies of the stored packet and of
// `packet`, which came `loss` lost packets after it.
void RecoverLostFrames(DremkoDecoderContext* ctx, const uint8_t* packet, int32_t loss, const float* stored0,
                       const float* stored1);
