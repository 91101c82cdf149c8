// Reading a core frame: 16-bit little-endian words, each sent from its most
// significant bit down.
#pragma once
#include <cstdint>

struct BitReader {
    const uint8_t* next_word;  // the word loaded when the current one is used up
    int32_t current_word;      // sign-extended 16-bit value
    int32_t bits_left;         // in current_word; 16 after a load
    int32_t last_bit;
};

// Positions the reader at the word starting at `word`; nothing is read yet.
void StartBitReader(BitReader* reader, const uint8_t* word);
// Reads one bit, loading the next word only when it is needed, so a reader
// never touches a word none of whose bits are read.
int ReadBit(BitReader* reader);
// Reads `count` (at most 16) bits as an unsigned field, most significant bit first.
int ReadBits(BitReader* reader, int count);
// Walks a decoding tree (layout of PowerCodeTree) one bit at a time, each bit
// taking one from *available. Returns the leaf's index, or -1 when
// *available is used up before a leaf; a leaf on the last available bit counts.
int ReadTreeCode(BitReader* reader, const int16_t (*tree)[2], int32_t* available);
// The same walk, continued from a node reached by bits already read.
int ReadTreeCodeFrom(BitReader* reader, const int16_t (*tree)[2], int node, int32_t* available);
// The next `count` (1 ... 16) bits as an unsigned field, without reading
// them; the caller makes sure they lie within the frame.
int PeekBits(const BitReader* reader, int count);
// Reads `count` (0 ... 16) bits, leaving the reader exactly as `count` calls
// of ReadBit would.
void SkipBits(BitReader* reader, int count);
