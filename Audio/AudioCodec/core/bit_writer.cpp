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
}
