#include "core/bit_reader.h"

namespace {

constexpr int kWordBits = 16;

int32_t LoadWord(const uint8_t* word) { return static_cast<int16_t>(static_cast<uint16_t>(word[0] | (word[1] << 8))); }

}  // namespace

void StartBitReader(BitReader* reader, const uint8_t* word) {
    reader->next_word = word;
    reader->current_word = 0;
    reader->bits_left = 0;
    reader->last_bit = 0;
}

int ReadBit(BitReader* reader) {
    if (reader->bits_left == 0) {
        reader->current_word = LoadWord(reader->next_word);
        reader->next_word += 2;
        reader->bits_left = kWordBits;
    }
    --reader->bits_left;
    reader->last_bit = (reader->current_word >> reader->bits_left) & 1;
    return reader->last_bit;
}

int PeekBits(const BitReader* reader, int count) {
    const int held_bits = reader->bits_left;
    const uint32_t held = static_cast<uint32_t>(reader->current_word) & ((1u << held_bits) - 1);
    if (count <= held_bits) return static_cast<int>(held >> (held_bits - count));
    const int more = count - held_bits;
    const uint32_t next = static_cast<uint16_t>(LoadWord(reader->next_word));
    return static_cast<int>((held << more) | (next >> (kWordBits - more)));
}

void SkipBits(BitReader* reader, int count) {
    if (count == 0) return;
    if (count <= reader->bits_left) {
        reader->bits_left -= count;
    } else {
        // Into the next word, loaded only now that one of its bits is read.
        reader->bits_left = kWordBits - (count - reader->bits_left);
        reader->current_word = LoadWord(reader->next_word);
        reader->next_word += 2;
    }
    reader->last_bit = (reader->current_word >> reader->bits_left) & 1;
}

int ReadBits(BitReader* reader, int count) {
    if (count == 0) return 0;
    const int value = PeekBits(reader, count);
    SkipBits(reader, count);
    return value;
}

int ReadTreeCode(BitReader* reader, const int16_t (*tree)[2], int32_t* available) {
    return ReadTreeCodeFrom(reader, tree, 0, available);
}

int ReadTreeCodeFrom(BitReader* reader, const int16_t (*tree)[2], int node, int32_t* available) {
    for (;;) {
        if (*available <= 0) return -1;
        --*available;
        const int child = tree[node][ReadBit(reader)];
        if (child <= 0) return -child;
        node = child;
    }
}
