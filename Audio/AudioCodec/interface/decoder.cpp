// The decoder's exported functions: packet parsing, the one-packet
// hold-back, the frame ring and the PCM output.
#include <cstring>

#include "core/core_tables.h"
#include "dremko.h"
#include "interface/decoder_context.h"
#include "interface/pcm.h"
#include "transform/transform.h"

namespace {

constexpr double kSynthesisGain = 1.2300000190734863;

void InitDecoderChannel(CoreDecoderState* core) {
    InitCoreTables();
    core->frame_count = 0;
}

void SynthesizeChannelFrame(const float* coefficients, float* overlap, int16_t* out) {
    float samples[kFrameSamples];
    MdctSynthesis(coefficients, overlap, samples, kFrameSamples);
    ToPcm16(samples, out, kFrameSamples);
}

// The first call only primes `last_good`; it delivers one silent frame.
void FirstCall(DremkoDecoderContext* ctx, const uint8_t* packet, int16_t* out, int32_t loss, int32_t stereo_stream,
               uint16_t copy_mask, int32_t packet_bytes, int32_t frame_samples) {
    ctx->first_call = 0;
    std::memset(out, 0, static_cast<size_t>(frame_samples) * sizeof(int16_t));
    std::memcpy(ctx->stored_packet, packet, static_cast<size_t>(packet_bytes));
    ctx->stored_rdp_bits = copy_mask;
    DecodeChannelFrame(&ctx->core[0], packet, ctx->main_bits, ctx->last_good[0]);
    if (stereo_stream)
        DecodeChannelFrame(&ctx->core[1], packet + ctx->part_bytes, ctx->main_bits, ctx->last_good[1]);
    else if (ctx->stereo_configured)
        std::memcpy(ctx->last_good[1], ctx->last_good[0], sizeof ctx->last_good[0]);
    ctx->pending_loss = loss;
}

// The stored packet keeps the lengths it came with; the new packet's come
// from the rate and copy mask the host has set now. Returns its length.
int32_t TakeNewPacketLengths(DremkoDecoderContext* ctx, uint16_t copy_mask, bool stereo_stream) {
    const int32_t main_bytes = DecoderMainBytes(ctx->bit_rate);
    const int32_t part_bytes = PartBytes(main_bytes, CopyCount(copy_mask));
    ctx->stored_part_bytes = ctx->part_bytes;
    ctx->stored_main_bits = ctx->main_bits;
    ctx->stored_main_bytes = ctx->main_bytes;
    ctx->part_bytes = part_bytes;
    ctx->main_bits = 8 * main_bytes;
    ctx->main_bytes = main_bytes;
    return PacketBytes(part_bytes, stereo_stream);
}

// Decodes the stored packet's main frames. A mono packet's frame serves both
// channels of a stereo output.
void DecodeStoredFrame(DremkoDecoderContext* ctx, bool stored_stereo, float* channel0, float* channel1) {
    DecodeChannelFrame(&ctx->core[0], ctx->stored_packet, ctx->stored_main_bits, channel0);
    if (stored_stereo)
        DecodeChannelFrame(&ctx->core[1], ctx->stored_packet + ctx->stored_part_bytes, ctx->stored_main_bits,
                           channel1);
    else if (ctx->stereo_configured)
        std::memcpy(channel1, channel0, sizeof(float) * kFrameSamples);
}

// Plays one frame of each channel the output has.
void PlayFrame(DremkoDecoderContext* ctx, const float* channel0, const float* channel1, int16_t* out) {
    SynthesizeChannelFrame(channel0, ctx->synthesis[0], out);
    if (ctx->stereo_configured) SynthesizeChannelFrame(channel1, ctx->synthesis[1], out + kFrameSamples);
}

// Plays every frame in the ring, oldest first, and empties it; returns how
// many frames `out` received.
int32_t DeliverRingFrames(DremkoDecoderContext* ctx, int16_t* out, int32_t frame_samples) {
    const int32_t frames = ctx->ring_count;
    for (int32_t i = 0; i < frames; ++i) {
        PlayFrame(ctx, ctx->frame_ring[0][ctx->ring_read], ctx->frame_ring[1][ctx->ring_read], out);
        out += frame_samples;
        ctx->ring_read = (ctx->ring_read + 1) % kRingFrames;
    }
    ctx->ring_count = 0;
    return frames;
}

}  // namespace

void DecodeChannelFrame(CoreDecoderState* state, const uint8_t* frame, int bits, float* out) {
    DecodeCoreFrame(state, bits, frame, out, kSynthesisGain);
}

extern "C" {

int32_t Dremko_SizeofDecoderContext(void) { return kDecoderContextBytes; }

int32_t Dremko_InitDecoderContext(void* context, int32_t stereo) {
    if (!context) return 1;
    std::memset(context, 0, kDecoderContextBytes);
    auto* ctx = static_cast<DremkoDecoderContext*>(context);
    ctx->first_call = 1;
    InitDecoderChannel(&ctx->core[0]);
    InitDecoderChannel(&ctx->core[1]);
    ctx->stereo_configured = stereo;
    ctx->stream_stereo = stereo;
    ctx->stream_stereo_seen = stereo;
    ctx->noise_seeds[0] = 123123213;
    ctx->noise_seeds[1] = -1231213;
    ctx->noise_seeds[2] = 12313;
    ctx->noise_seeds[3] = 13333;
    ctx->copy_bits = kCopyBits;
    ctx->copy_bytes = kCopyBytes;
    return 0;
}

void DremkoSetDecoderBitRate(void* context, int32_t bit_rate) {
    static_cast<DremkoDecoderContext*>(context)->bit_rate = static_cast<uint32_t>(bit_rate);
}

void DremkoSetDecoderRdpBits(void* context, uint16_t rdp_bits) {
    static_cast<DremkoDecoderContext*>(context)->rdp_bits = rdp_bits;
}

int32_t Dremko_DecodeFrame(void* context, const uint8_t* packet, int16_t* out, int32_t loss, int32_t* delivered) {
    auto* ctx = static_cast<DremkoDecoderContext*>(context);
    *delivered = 0;
    const int32_t stream_stereo = ctx->stream_stereo;
    if (stream_stereo != ctx->stream_stereo_seen) {
        // Copies cannot be matched across a change of stream mode: the gaps
        // on either side of it are concealed, not rebuilt.
        loss = 0;
        ctx->pending_loss = 0;
        ctx->stream_stereo_seen = stream_stereo;
    }
    const uint16_t copy_mask = static_cast<uint16_t>(ctx->rdp_bits & 15);
    const int32_t packet_bytes = TakeNewPacketLengths(ctx, copy_mask, stream_stereo != 0);
    const int32_t frame_samples = ctx->stereo_configured ? 2 * kFrameSamples : kFrameSamples;
    if (ctx->first_call) {
        FirstCall(ctx, packet, out, loss, stream_stereo, copy_mask, packet_bytes, frame_samples);
        *delivered = 1;
        return 0;
    }

    // With no gap to rebuild, the stored packet's frame is the call's only
    // one: it is decoded straight into `last_good` (the older neighbour of
    // whatever gap comes next) and played from there, without a trip through
    // the ring. Otherwise it goes into a scratch frame, copied into the ring
    // after the rebuilt ones and into `last_good`.
    const bool direct = ctx->pending_loss < 1 && ctx->ring_count == 0;
    float scratch[2][kFrameSamples];
    float* channel0 = direct ? ctx->last_good[0] : scratch[0];
    float* channel1 = direct ? ctx->last_good[1] : scratch[1];
    const int32_t stored_stereo = ctx->stored_stereo;
    DecodeStoredFrame(ctx, stored_stereo != 0, channel0, channel1);
    ctx->stored_stereo = stream_stereo;

    // Every call empties the ring, so there is room; were there none, the
    // frame would be dropped rather than overwrite one not yet played.
    if (kRingFrames - ctx->ring_count < 1) return 0;
    if (!direct) {
        RecoverLostFrames(ctx, packet, loss, channel0, channel1);
        std::memcpy(ctx->frame_ring[0][ctx->ring_write], channel0, sizeof scratch[0]);
        if (ctx->stereo_configured) std::memcpy(ctx->frame_ring[1][ctx->ring_write], channel1, sizeof scratch[1]);
        std::memcpy(ctx->last_good[0], channel0, sizeof scratch[0]);
        if (ctx->stereo_configured) std::memcpy(ctx->last_good[1], channel1, sizeof scratch[1]);
        ctx->ring_write = (ctx->ring_write + 1) % kRingFrames;
        ctx->ring_count += 1;
    }

    // The new packet is held back for the next call, which rebuilds the gap
    // before it from both packets' copies (only if both have the same mode).
    ctx->pending_loss = stored_stereo == stream_stereo ? loss : 0;
    std::memcpy(ctx->stored_packet, packet, static_cast<size_t>(packet_bytes));
    ctx->stored_rdp_bits = copy_mask;

    if (direct) {
        PlayFrame(ctx, channel0, channel1, out);
        *delivered = 1;
        return 0;
    }
    *delivered = DeliverRingFrames(ctx, out, frame_samples);
    return 0;
}

}  // extern "C"
