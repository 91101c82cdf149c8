// Encoder fuzz target: bit rate, stereo flag, redundancy requests and PCM,
// all from the fuzz input, through Dremko_EncodeFrame.
//
// Input layout:
//   flags (bit 0: stereo), bit_rate (i32 LE, the total rate given to Init);
//   then records until the input ends:
//   control byte c
//     bit 0   the host flips the context's stereo flag (byte offset 8) first
//     bit 1   the redundancy request is an int32 (LE) instead of an int8
//   redundancy request
//   n (byte) and n 16-bit samples (LE), repeated to fill the frame's 960
//   samples per channel; n = 0 gives silence (the input ends when fewer
//   bytes remain)
// Context, PCM and packet are heap blocks of exactly the sizes the interface
// names, so AddressSanitizer sees any access beyond them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dremko.h"
#include "fuzz_input.h"
#include "interface/packet_layout.h"

namespace {

constexpr size_t kStereoFlagOffset = 8;

void Check(bool condition) {
    if (!condition) std::abort();
}

int32_t HeldCopies(int32_t requested) { return requested < 0 ? 0 : (requested > kMaxCopies ? kMaxCopies : requested); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const int32_t stereo_configured = TakeByte(&in) & 1;
    const int32_t total_rate = static_cast<int32_t>(TakeLittleEndian(&in, 4));
    const int32_t channel_rate = stereo_configured ? total_rate >> 1 : total_rate;

    const size_t context_bytes = static_cast<size_t>(Dremko_SizeofEncoderContext());
    std::unique_ptr<uint8_t[]> context(new uint8_t[context_bytes]);
    Check(Dremko_InitEncoderContext(context.get(), total_rate, stereo_configured) == 0);
    int32_t stereo = stereo_configured;

    while (!FuzzInputEmpty(in)) {
        const uint8_t control = TakeByte(&in);
        if (control & 1) {
            stereo = !stereo;
            std::memcpy(context.get() + kStereoFlagOffset, &stereo, sizeof stereo);
        }
        const int32_t requested =
            control & 2 ? static_cast<int32_t>(TakeLittleEndian(&in, 4)) : static_cast<int8_t>(TakeByte(&in));
        const size_t pattern_length = TakeByte(&in);
        int16_t pattern[255];
        if (!TakeBytes(&in, pattern, pattern_length * sizeof(int16_t))) break;

        const int channels = stereo ? 2 : 1;
        const size_t samples = static_cast<size_t>(channels * kFrameSamples);
        std::unique_ptr<int16_t[]> pcm(new int16_t[samples]);
        for (size_t i = 0; i < samples; ++i) pcm[i] = pattern_length ? pattern[i % pattern_length] : 0;
        const int32_t part_bytes = PartBytes(EncoderMainBytes(channel_rate), HeldCopies(requested));
        std::unique_ptr<uint8_t[]> packet(new uint8_t[static_cast<size_t>(channels * part_bytes)]);

        Check(Dremko_EncodeFrame(context.get(), pcm.get(), packet.get(), requested) == part_bytes);
        Check(DremkoEncoder_GetRP(context.get()) == HeldCopies(requested));
        const int32_t energy = DremkoEncoder_GetEnergy(context.get());
        Check(energy >= 0 && energy <= 254 && energy % 2 == 0);
        Check((DremkoEncoder_GetSpeechDetect(context.get()) & ~1) == 0);
    }
    return 0;
}
