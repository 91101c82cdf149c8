// Writer of core frames: bits go most significant first into 16-bit words,
// each word stored little-endian (low byte first).
#pragma once
#include <cstdint>

struct BitWriter {
    uint8_t* output;
    int32_t position;  // bits written so far
    uint64_t pending;  // the low position % 16 bits: the word being filled
};

void StartBitWriter(BitWriter* writer, uint8_t* output);

// The low `length` bits of value (0 ... 32), most significant first; bits
// above them are ignored.
inline void WriteBits(BitWriter* writer, uint32_t value, int length) {
    const int held = writer->position % 16;
    uint64_t bits = (writer->pending << length) | (value & ((uint64_t{1} << length) - 1));
    int count = held + length;
    writer->position += length;
    uint8_t* word = writer->output + 2 * ((writer->position - count) / 16);
    // Whole words leave as soon as they are complete.
    for (; count >= 16; count -= 16, word += 2) {
        const uint32_t complete = static_cast<uint32_t>(bits >> (count - 16));
        word[0] = static_cast<uint8_t>(complete & 0xff);
        word[1] = static_cast<uint8_t>((complete >> 8) & 0xff);
    }
    writer->pending = bits & ((uint64_t{1} << count) - 1);
}

// Ones up to bit `end`.
void FillOnes(BitWriter* writer, int end);
