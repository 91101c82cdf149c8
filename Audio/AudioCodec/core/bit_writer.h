// Writer of core frames: bits go most significant first into 16-bit words,
// each word stored little-endian (low byte first).
#pragma once
#include <cstdint>
#include <cstring>

struct BitWriter {
    uint8_t* output;
    int32_t position;  // bits written so far
    uint64_t pending;  // the low position % 32 bits: the two words being filled
};

void StartBitWriter(BitWriter* writer, uint8_t* output);

// Stores 32 bits, the first in the most significant place, as two words.
inline void StoreWordPair(uint8_t* bytes, uint32_t bits) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    bits = (bits << 16) | (bits >> 16);  // the first word at the lower address
#else
    bits = ((bits & 0x00ff00ffu) << 8) | ((bits >> 8) & 0x00ff00ffu);  // each word's low byte first
#endif
    std::memcpy(bytes, &bits, sizeof bits);
}

// The `length` bits (0 ... 32) of value, most significant first; value has
// no bits above them (every field written is below 2^length). Bits leave for the output 32 at a time, so a
// caller writing many fields keeps the writer in a local copy: the output
// stores could otherwise alias it and force it back to memory each time.
inline void WriteBits(BitWriter* writer, uint32_t value, int length) {
    const int held = writer->position & 31;
    const uint64_t bits = (writer->pending << length) | value;
    const int count = held + length;  // at most 63
    if (count >= 32) {
        StoreWordPair(writer->output + 4 * (writer->position >> 5), static_cast<uint32_t>(bits >> (count - 32)));
        writer->pending = bits & ((uint64_t{1} << (count - 32)) - 1);
    } else {
        writer->pending = bits;
    }
    writer->position += length;
}

// Ones up to bit `end` (a multiple of 16), every bit before it then in the output.
void FillOnes(BitWriter* writer, int end);
