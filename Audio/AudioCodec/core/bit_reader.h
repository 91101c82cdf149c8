// Reading a core frame: 16-bit little-endian words, each sent from its most
// significant bit down. The reader works on a copy of the frame whose byte
// pairs are swapped, so that the bits run from byte to byte, most significant
// first, and the next 57 of them are one 64-bit load and a shift.
#pragma once
#include <cstdint>
#include <cstring>

#include "core/core_tables.h"

// Room for the longest frame and one 64-bit load at its end: a read never
// goes past the frame's bits, so every load stays within the copy.
constexpr int kFrameCopyBytes = kCoreFrameBytes + 8;

struct BitReader {
    const uint8_t* bytes;  // a frame copy made by CopyFrameWords
    int32_t position;      // bits read so far
};

// Copies the frame's `byte_count` bytes (0 ... 160) as complete words, pairs
// swapped, zeros after. An odd byte count gets a copy of its last byte
// appended; a frame without a byte reads as one zero word.
void CopyFrameWords(const uint8_t* frame, int byte_count, uint8_t* copy);

// Starts reading `copy` at the word starting at bit `position`.
inline BitReader StartBitReader(const uint8_t* copy, int position) { return {copy, position}; }

// The next bits, the next one in the most significant place; at least the
// first 57 are the frame's (or the copy's zeros after it).
inline uint64_t PeekBits64(const BitReader& reader) {
    uint64_t word;
    std::memcpy(&word, reader.bytes + (reader.position >> 3), sizeof word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    word = __builtin_bswap64(word);  // the first byte in the most significant place
#endif
    return word << (reader.position & 7);
}

// Reads `count` (1 ... 32) bits as an unsigned field, most significant bit first.
inline uint32_t ReadBits(BitReader* reader, int count) {
    const uint64_t bits = PeekBits64(*reader);
    reader->position += count;
    return static_cast<uint32_t>(bits >> (64 - count));
}

inline int ReadBit(BitReader* reader) { return static_cast<int>(ReadBits(reader, 1)); }
