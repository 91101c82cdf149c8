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
    // The last ones may have run on into a pair that no write has stored yet.
    if ((writer->position & 31) != 0)
        StoreWordPair(writer->output + 4 * (writer->position >> 5), static_cast<uint32_t>(writer->pending >> 32));
}
