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

constexpr int kFrameWordBits = 16;

// Positions the reader at the word starting at `word`; nothing is read yet.
void StartBitReader(BitReader* reader, const uint8_t* word);
// Walks a decoding tree (layout of PowerCodeTree) one bit at a time, each bit
// taking one from *available. Returns the leaf's index, or -1 when
// *available is used up before a leaf; a leaf on the last available bit counts.
int ReadTreeCode(BitReader* reader, const int16_t (*tree)[2], int32_t* available);
// The same walk, continued from a node reached by bits already read.
int ReadTreeCodeFrom(BitReader* reader, const int16_t (*tree)[2], int node, int32_t* available);

// The reads below are inline: the decoder calls them for every code and
// every group of signs.

// The frame word at `word`, sign-extended.
inline int32_t LoadFrameWord(const uint8_t* word) {
    return static_cast<int16_t>(static_cast<uint16_t>(word[0] | (word[1] << 8)));
}

// Reads one bit, loading the next word only when it is needed, so a reader
// never touches a word none of whose bits are read.
inline int ReadBit(BitReader* reader) {
    if (reader->bits_left == 0) {
        reader->current_word = LoadFrameWord(reader->next_word);
        reader->next_word += 2;
        reader->bits_left = kFrameWordBits;
    }
    --reader->bits_left;
    reader->last_bit = (reader->current_word >> reader->bits_left) & 1;
    return reader->last_bit;
}

// The next `count` (1 ... 16) bits as an unsigned field, without reading
// them; the caller makes sure they lie within the frame.
inline int PeekBits(const BitReader* reader, int count) {
    const int held_bits = reader->bits_left;
    const uint32_t held = static_cast<uint32_t>(reader->current_word) & ((1u << held_bits) - 1);
    if (count <= held_bits) return static_cast<int>(held >> (held_bits - count));
    const int more = count - held_bits;
    const uint32_t next = static_cast<uint16_t>(LoadFrameWord(reader->next_word));
    return static_cast<int>((held << more) | (next >> (kFrameWordBits - more)));
}

// Reads `count` (0 ... 16) bits, leaving the reader exactly as `count` calls
// of ReadBit would.
inline void SkipBits(BitReader* reader, int count) {
    if (count == 0) return;
    if (count <= reader->bits_left) {
        reader->bits_left -= count;
    } else {
        // Into the next word, loaded only now that one of its bits is read.
        reader->bits_left = kFrameWordBits - (count - reader->bits_left);
        reader->current_word = LoadFrameWord(reader->next_word);
        reader->next_word += 2;
    }
    reader->last_bit = (reader->current_word >> reader->bits_left) & 1;
}

// Reads `count` (at most 16) bits as an unsigned field, most significant bit first.
inline int ReadBits(BitReader* reader, int count) {
    if (count == 0) return 0;
    const int value = PeekBits(reader, count);
    SkipBits(reader, count);
    return value;
}
