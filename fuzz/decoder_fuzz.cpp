// Decoder fuzz target: settings and a stream of packets with loss counts,
// all from the fuzz input, through Dremko_DecodeFrame.
//
// Input layout:
//   flags (bit 0: stereo output, bit 1: stereo stream), bit_rate (u32 LE),
//   rdp_bits (u16 LE); then records until the input ends:
//   control byte c
//     bit 7   the settings change first: bit_rate (u32 LE) and rdp_bits
//             (u16 LE) follow, and the stream mode becomes bit 6, written
//             into the context at byte offset 8 as a host does
//     bits 4-5  loss count: 0 none, 1 c & 15, 2 an int8 follows, 3 an int32 follows
//   packet  exactly as many bytes as the settings imply (the input ends
//           when fewer remain)
// Context, packets and output are heap blocks of exactly the sizes the
// interface names, so AddressSanitizer sees any access beyond them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dremko.h"
#include "fuzz_input.h"
#include "interface/packet_layout.h"

namespace {

constexpr size_t kStreamModeOffset = 8;

struct Settings {
    uint32_t bit_rate;
    uint16_t rdp_bits;
    int32_t stereo_stream;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

// The packet length the decoder expects for the settings.
size_t ExpectedPacketBytes(const Settings& s) {
    const int32_t part = PartBytes(DecoderMainBytes(s.bit_rate), CopyCount(s.rdp_bits));
    return static_cast<size_t>(PacketBytes(part, s.stereo_stream != 0));
}

void Apply(void* ctx, const Settings& s) {
    DremkoSetDecoderBitRate(ctx, static_cast<int32_t>(s.bit_rate));
    DremkoSetDecoderRdpBits(ctx, s.rdp_bits);
    std::memcpy(static_cast<uint8_t*>(ctx) + kStreamModeOffset, &s.stereo_stream, sizeof s.stereo_stream);
}

int32_t TakeLoss(FuzzInput* in, uint8_t control) {
    switch ((control >> 4) & 3) {
        case 0: return 0;
        case 1: return control & 15;
        case 2: return static_cast<int8_t>(TakeByte(in));
        default: return static_cast<int32_t>(TakeLittleEndian(in, 4));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const uint8_t flags = TakeByte(&in);
    const int32_t stereo_out = flags & 1;
    Settings settings{TakeLittleEndian(&in, 4), static_cast<uint16_t>(TakeLittleEndian(&in, 2)), (flags >> 1) & 1};

    const size_t context_bytes = static_cast<size_t>(Dremko_SizeofDecoderContext());
    std::unique_ptr<uint8_t[]> context(new uint8_t[context_bytes]);
    Check(Dremko_InitDecoderContext(context.get(), stereo_out) == 0);
    Apply(context.get(), settings);

    const size_t out_samples = static_cast<size_t>(DREMKO_MAX_DECODED_FRAMES * kFrameSamples * (stereo_out ? 2 : 1));
    std::unique_ptr<int16_t[]> out(new int16_t[out_samples]);
    bool first = true;
    while (!FuzzInputEmpty(in)) {
        const uint8_t control = TakeByte(&in);
        if (control & 0x80) {
            settings.bit_rate = TakeLittleEndian(&in, 4);
            settings.rdp_bits = static_cast<uint16_t>(TakeLittleEndian(&in, 2));
            settings.stereo_stream = (control >> 6) & 1;
            Apply(context.get(), settings);
        }
        const int32_t loss = TakeLoss(&in, control);
        const size_t packet_bytes = ExpectedPacketBytes(settings);
        std::unique_ptr<uint8_t[]> packet(new uint8_t[packet_bytes]);
        if (!TakeBytes(&in, packet.get(), packet_bytes)) break;
        int32_t delivered = -1;
        Check(Dremko_DecodeFrame(context.get(), packet.get(), out.get(), loss, &delivered) == 0);
        Check(first ? delivered == 1 : delivered >= 1 && delivered <= DREMKO_MAX_DECODED_FRAMES);
        first = false;
    }
    return 0;
}
