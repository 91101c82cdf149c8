// Writer of core frames: bits go most significant first into 16-bit words,
// each word stored little-endian (low byte first).
#pragma once
#include <cstdint>
#include <cstring>

struct BitWriter {
    uint8_t* output;
    uint8_t* pair;     // the pair of words being filled
    int32_t held;      // bits of it written so far, 0 ... 31
    uint64_t pending;  // those bits, from the most significant place
};

// Bits written so far.
inline int BitPosition(const BitWriter& writer) {
    return static_cast<int>(8 * (writer.pair - writer.output)) + writer.held;
}

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

// The `length` bits (1 ... 32) of value, most significant first; value has
// no bits above them (every field written is below 2^length). The pair of
// words being filled is stored on every call, complete or not (zeros after
// the last bit, overwritten later), so no branch follows the field lengths;
// bits that run on into the next pair wait for the next call (or fill) to
// be stored. A caller writing many
// fields keeps the writer in a local copy: the output stores could otherwise
// alias it and force it back to memory each time. The writer keeps the pair
// and the bits held in it apart, so that no call splits a bit position.
inline void WriteBits(BitWriter* writer, uint32_t value, int length) {
    const uint32_t filled = static_cast<uint32_t>(writer->held + length);  // 1 ... 63
    // 64 - filled as the shift's 6-bit count (a negation)
    const uint64_t bits = writer->pending | (static_cast<uint64_t>(value) << (-filled & 63));
    StoreWordPair(writer->pair, static_cast<uint32_t>(bits >> 32));
    writer->pending = bits << (filled & 32);  // a completed pair leaves
    writer->pair += (filled >> 3) & 4;
    writer->held = static_cast<int32_t>(filled & 31);
}

// Ones up to bit `end`; every bit before it is then in the output.
void FillOnes(BitWriter* writer, int end);
