// Writer of core frames (16-bit words, most significant bit first, words
// little-endian).
#include "core/bit_writer.h"

namespace {

constexpr int kWordBits = 16;

void StoreWord(BitWriter* writer) {
    uint8_t* bytes = writer->output + 2 * (writer->position / kWordBits - 1);
    bytes[0] = static_cast<uint8_t>(writer->word & 0xff);
    bytes[1] = static_cast<uint8_t>((writer->word >> 8) & 0xff);
    writer->word = 0;
}

}  // namespace

void StartBitWriter(BitWriter* writer, uint8_t* output) {
    writer->output = output;
    writer->position = 0;
    writer->word = 0;
}

// As many bits at a time as the current word still takes.
void WriteBits(BitWriter* writer, uint32_t value, int length) {
    while (length > 0) {
        const int room = kWordBits - writer->position % kWordBits;
        const int take = length < room ? length : room;
        length -= take;
        writer->word = (writer->word << take) | ((value >> length) & ((1u << take) - 1));
        writer->position += take;
        if (writer->position % kWordBits == 0) StoreWord(writer);
    }
}

void WriteStoredBits(BitWriter* writer, const uint32_t* words, int count) {
    for (; count >= 32; count -= 32) WriteBits(writer, *words++, 32);
    if (count > 0) WriteBits(writer, *words >> (32 - count), count);
}

void FillOnes(BitWriter* writer, int end) {
    while (writer->position < end) {
        const int count = end - writer->position < 32 ? end - writer->position : 32;
        WriteBits(writer, 0xffffffffu, count);
    }
}
