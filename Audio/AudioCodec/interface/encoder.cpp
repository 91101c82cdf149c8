// The encoder's exported functions and the packet format.
#include <cstring>

#include "core/core_tables.h"
#include "dremko.h"
#include "interface/encoder_context.h"
#include "simd/gain.h"
#include "transform/transform.h"

namespace {

// Every encoder channel codes into this one buffer (the library is not
// reentrant across contexts).
uint8_t core_scratch[kCoreFrameBytes];

constexpr double kAnalysisGain = 0.024529000744223595;

void InitEncoderChannel(EncoderChannelState* channel) {
    channel->core.ext_envelope_bits = 0;
    channel->core.base_envelope_bits = 0;
    channel->core.split_index = -1;
    channel->core.frame_count = 0;
    InitCoreTables();
    SpeechDetector_Init(&channel->speech, 48, 20);
}

// Speech detection on the previous frame, then the transform of the window;
// only the coefficients the regions cover, 0 ... 879, are scaled, as only
// they are coded.
void AnalyseChannel(DremkoEncoderContext* ctx, int ch, float* coefficients) {
    EncoderChannelState* channel = &ctx->channel[ch];
    channel->speech_result = static_cast<int32_t>(SpeechDetector_Process(ctx->analysis_window[ch], &channel->speech));
    MdctAnalysis(ctx->analysis_window[ch], coefficients);
    ApplyGain(coefficients, kRegions * kRegionSize, kAnalysisGain);
}

// Codes one channel and writes its part: main frame, then copies t-2 ... t-2R.
// Only the words the main frame takes are coded (an odd last byte is the
// second half of its word); the copies lie within them.
void WriteChannelPart(DremkoEncoderContext* ctx, int ch, const float* coefficients, uint8_t* part, int32_t main_bytes,
                      int32_t copies, int32_t slot) {
    static_assert(kCopyBytes <= DREMKO_MAIN_FRAME_BYTES(0), "the copies lie within every main frame");
    const int kept_bits = 16 * ((main_bytes + 1) / 2);
    EncodeCoreFrame(&ctx->channel[ch].core, &ctx->channel[ch].frame_level, kept_bits, coefficients, core_scratch);
    std::memcpy(part, core_scratch, static_cast<size_t>(main_bytes));
    std::memcpy(ctx->base_ring[ch][slot], core_scratch, kCopyBytes);
    for (int i = 1; i <= copies; ++i) {
        int32_t older = slot - 2 * i;
        if (older < 0) older += kBaseRingSlots;
        std::memcpy(part + CopyOffset(main_bytes, i - 1), ctx->base_ring[ch][older], kCopyBytes);
    }
}

int32_t EncodePacket(DremkoEncoderContext* ctx, const int16_t* pcm, uint8_t* packet) {
    std::memcpy(&ctx->analysis_window[0][kFrameSamples], pcm, kFrameSamples * sizeof(int16_t));
    if (ctx->stereo) {
        std::memcpy(&ctx->analysis_window[1][kFrameSamples], pcm + kFrameSamples, kFrameSamples * sizeof(int16_t));
        // A stream turning stereo starts channel 1 from channel 0's history.
        if (ctx->stereo_previous != ctx->stereo)
            std::memcpy(ctx->analysis_window[1], ctx->analysis_window[0], kFrameSamples * sizeof(int16_t));
    }
    ctx->stereo_previous = ctx->stereo;

    float x0[kFrameSamples];
    float x1[kFrameSamples];
    AnalyseChannel(ctx, 0, x0);
    if (ctx->stereo)
        AnalyseChannel(ctx, 1, x1);
    else
        ctx->channel[1].speech_result = 0;

    const int32_t main_bytes = EncoderMainBytes(ctx->bit_rate);
    const int32_t copies = ctx->redundancy;
    const int32_t slot = ctx->ring_index;
    const int32_t part_bytes = PartBytes(main_bytes, copies);
    WriteChannelPart(ctx, 0, x0, packet, main_bytes, copies, slot);
    if (ctx->stereo)
        WriteChannelPart(ctx, 1, x1, packet + part_bytes, main_bytes, copies, slot);
    else if (ctx->stereo_configured)
        std::memcpy(ctx->base_ring[1][slot], ctx->base_ring[0][slot], kCopyBytes);
    ctx->ring_index = slot + 1 == kBaseRingSlots ? 0 : slot + 1;
    return part_bytes;
}

}  // namespace

extern "C" {

int32_t Dremko_SizeofEncoderContext(void) { return kEncoderContextBytes; }

int32_t Dremko_InitEncoderContext(void* context, int32_t bit_rate, int32_t stereo) {
    if (!context) return 1;
    std::memset(context, 0, kEncoderContextBytes);
    auto* ctx = static_cast<DremkoEncoderContext*>(context);
    InitEncoderChannel(&ctx->channel[0]);
    InitEncoderChannel(&ctx->channel[1]);
    ctx->stereo_configured = stereo;
    ctx->stereo = stereo;
    ctx->stereo_previous = stereo;
    ctx->redundancy = 0;
    ctx->bit_rate = stereo ? bit_rate >> 1 : bit_rate;
    InitStereoAnalysis(&ctx->stereo_analysis);
    ctx->speech_flag = 0;
    ctx->energy = 0;
    ctx->dominant_channel = 0;
    return 0;
}

int32_t Dremko_EncodeFrame(void* context, const int16_t* pcm, uint8_t* packet, int32_t redundancy) {
    if (!context) return -1;
    auto* ctx = static_cast<DremkoEncoderContext*>(context);
    int32_t dominant = 0;
    if (ctx->stereo) {
        dominant = StereoDominance(pcm, pcm + kFrameSamples, &ctx->stereo_analysis);
        ctx->dominant_channel = dominant;
    }
    ctx->redundancy = redundancy < 0 ? 0 : (redundancy > kMaxCopies ? kMaxCopies : redundancy);
    const int32_t part_bytes = EncodePacket(ctx, pcm, packet);
    const int32_t speech = ctx->channel[0].speech_result | (ctx->stereo ? ctx->channel[1].speech_result : 0);
    ctx->speech_flag = speech & 1;
    const int32_t level_channel = ctx->stereo && dominant ? 1 : 0;
    ctx->energy = 2 * (ctx->channel[level_channel].frame_level & 127);
    return part_bytes;
}

int32_t DremkoEncoder_GetSpeechDetect(const void* context) {
    return static_cast<const DremkoEncoderContext*>(context)->speech_flag;
}

int32_t DremkoEncoder_GetEnergy(const void* context) {
    return static_cast<const DremkoEncoderContext*>(context)->energy;
}

int32_t DremkoEncoder_GetRP(const void* context) {
    return static_cast<const DremkoEncoderContext*>(context)->redundancy;
}

}  // extern "C"
