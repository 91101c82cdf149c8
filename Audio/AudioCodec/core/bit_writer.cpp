// Writer of core frames (16-bit words, most significant bit first, words
// little-endian).
#include "core/bit_writer.h"

void StartBitWriter(BitWriter* writer, uint8_t* output) {
    writer->output = output;
    writer->position = 0;
    writer->pending = 0;
}

void FillOnes(BitWriter* writer, int end) {
    while (writer->position < end) {
        const int count = end - writer->position < 32 ? end - writer->position : 32;
        WriteBits(writer, 0xffffffffu >> (32 - count), count);
    }
    // A half-filled pair ends with a whole word: store that word now (the
    // pair is stored again, the same word first, once it is complete).
    if ((writer->position & 31) == 16) {
        const uint32_t word = static_cast<uint32_t>(writer->pending);
        uint8_t* bytes = writer->output + 4 * (writer->position >> 5);
        bytes[0] = static_cast<uint8_t>(word & 0xff);
        bytes[1] = static_cast<uint8_t>(word >> 8);
    }
}
