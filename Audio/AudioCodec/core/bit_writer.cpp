// Writer of core frames (16-bit words, most significant bit first, words
// little-endian).
#include "core/bit_writer.h"

void StartBitWriter(BitWriter* writer, uint8_t* output) {
    writer->output = output;
    writer->pair = output;
    writer->held = 0;
    writer->pending = 0;
}

void FillOnes(BitWriter* writer, int end) {
    for (int room = end - BitPosition(*writer); room > 0; room -= 32) {
        const int count = room < 32 ? room : 32;
        WriteBits(writer, 0xffffffffu >> (32 - count), count);
    }
    // The last ones may have run on into a pair that no write has stored yet.
    if (writer->held != 0) StoreWordPair(writer->pair, static_cast<uint32_t>(writer->pending >> 32));
}
