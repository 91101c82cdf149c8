// Writer of core frames: bits go most significant first into 16-bit words,
// each word stored little-endian (low byte first).
#pragma once
#include <cstdint>

struct BitWriter {
    uint8_t* output;
    int32_t position;  // bits written so far
    uint32_t word;     // bits of the word being filled
};

void StartBitWriter(BitWriter* writer, uint8_t* output);
// The low `length` bits of value (0 ... 32), most significant first.
void WriteBits(BitWriter* writer, uint32_t value, int length);
// The first `count` bits of a store of 32-bit words filled most significant first.
void WriteStoredBits(BitWriter* writer, const uint32_t* words, int count);
// Ones up to bit `end`.
void FillOnes(BitWriter* writer, int end);
