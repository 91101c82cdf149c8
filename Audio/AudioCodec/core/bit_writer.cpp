// Writer of core frames (16-bit words, most significant bit first, words
// little-endian).
#include "core/bit_writer.h"

namespace {

void PutBit(BitWriter* writer, uint32_t bit) {
    writer->word = (writer->word << 1) | bit;
    ++writer->position;
    if (writer->position % 16 == 0) {
        uint8_t* bytes = writer->output + 2 * (writer->position / 16 - 1);
        bytes[0] = static_cast<uint8_t>(writer->word & 0xff);
        bytes[1] = static_cast<uint8_t>((writer->word >> 8) & 0xff);
        writer->word = 0;
    }
}

}  // namespace

void StartBitWriter(BitWriter* writer, uint8_t* output) {
    writer->output = output;
    writer->position = 0;
    writer->word = 0;
}

void WriteBits(BitWriter* writer, uint32_t value, int length) {
    for (int i = length - 1; i >= 0; --i) PutBit(writer, (value >> i) & 1);
}

void WriteStoredBits(BitWriter* writer, const uint32_t* words, int count) {
    for (int i = 0; i < count; ++i) PutBit(writer, (words[i / 32] >> (31 - i % 32)) & 1);
}

void FillOnes(BitWriter* writer, int end) {
    while (writer->position < end) PutBit(writer, 1);
}
