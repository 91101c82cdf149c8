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
               int32_t packet_bytes, int32_t frame_samples) {
    ctx->first_call = 0;
    std::memset(out, 0, static_cast<size_t>(frame_samples) * sizeof(int16_t));
    std::memcpy(ctx->stored_packet, packet, static_cast<size_t>(packet_bytes));
    ctx->stored_rdp_bits = static_cast<uint16_t>(ctx->rdp_bits & 15);
    DecodeChannelFrame(&ctx->core[0], packet, ctx->main_bits, ctx->last_good[0]);
    if (stereo_stream)
        DecodeChannelFrame(&ctx->core[1], packet + ctx->part_bytes, ctx->main_bits, ctx->last_good[1]);
    else if (ctx->stereo_configured)
        std::memcpy(ctx->last_good[1], ctx->last_good[0], sizeof ctx->last_good[0]);
    ctx->pending_loss = loss;
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
    const int32_t s = ctx->stream_stereo;
    if (s != ctx->stream_stereo_seen) {
        // No rebuilding across a change of stream mode.
        loss = 0;
        ctx->pending_loss = 0;
        ctx->stream_stereo_seen = s;
    }
    const uint16_t rdp = static_cast<uint16_t>(ctx->rdp_bits & 15);
    const int32_t main_bytes = DecoderMainBytes(ctx->bit_rate);
    const int32_t part_bytes = PartBytes(main_bytes, CopyCount(rdp));
    ctx->stored_part_bytes = ctx->part_bytes;
    ctx->stored_main_bits = ctx->main_bits;
    ctx->stored_main_bytes = ctx->main_bytes;
    ctx->part_bytes = part_bytes;
    ctx->main_bits = 8 * main_bytes;
    ctx->main_bytes = main_bytes;
    const int32_t packet_bytes = PacketBytes(part_bytes, s != 0);
    const int32_t frame_samples = ctx->stereo_configured ? 2 * kFrameSamples : kFrameSamples;

    if (ctx->first_call) {
        FirstCall(ctx, packet, out, loss, s, packet_bytes, frame_samples);
        *delivered = 1;
        return 0;
    }

    // With no gap to rebuild nothing goes into the ring before the stored
    // packet's frame, so it is decoded straight into its free slot; otherwise
    // into a scratch frame, copied in after the rebuilt ones.
    const bool in_place = ctx->pending_loss < 1 && ctx->ring_count < kRingFrames;
    float scratch[2][kFrameSamples];
    float* a = in_place ? ctx->frame_ring[0][ctx->ring_write] : scratch[0];
    float* b = in_place ? ctx->frame_ring[1][ctx->ring_write] : scratch[1];
    DecodeChannelFrame(&ctx->core[0], ctx->stored_packet, ctx->stored_main_bits, a);
    const int32_t t = ctx->stored_stereo;
    ctx->stored_stereo = s;
    if (t)
        DecodeChannelFrame(&ctx->core[1], ctx->stored_packet + ctx->stored_part_bytes, ctx->stored_main_bits, b);
    else if (ctx->stereo_configured)
        std::memcpy(b, a, sizeof scratch[0]);

    if (kRingFrames - ctx->ring_count < 1) return 0;
    if (!in_place) {
        RecoverLostFrames(ctx, packet, loss, a, b);
        std::memcpy(ctx->frame_ring[0][ctx->ring_write], a, sizeof scratch[0]);
        if (ctx->stereo_configured) std::memcpy(ctx->frame_ring[1][ctx->ring_write], b, sizeof scratch[1]);
    }
    std::memcpy(ctx->last_good[0], a, sizeof scratch[0]);
    if (ctx->stereo_configured) std::memcpy(ctx->last_good[1], b, sizeof scratch[1]);
    ctx->ring_write = (ctx->ring_write + 1) % kRingFrames;
    ctx->ring_count += 1;
    ctx->pending_loss = t == s ? loss : 0;
    std::memcpy(ctx->stored_packet, packet, static_cast<size_t>(packet_bytes));
    ctx->stored_rdp_bits = rdp;

    const int32_t n = ctx->ring_count;
    for (int32_t i = 0; i < n; ++i) {
        SynthesizeChannelFrame(ctx->frame_ring[0][ctx->ring_read], ctx->synthesis[0], out);
        if (ctx->stereo_configured)
            SynthesizeChannelFrame(ctx->frame_ring[1][ctx->ring_read], ctx->synthesis[1], out + kFrameSamples);
        out += frame_samples;
        ctx->ring_read = (ctx->ring_read + 1) % kRingFrames;
    }
    ctx->ring_count = 0;
    *delivered = n;
    return 0;
}

}  // extern "C"
