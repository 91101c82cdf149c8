#include "core/bit_reader.h"

void StartBitReader(BitReader* reader, const uint8_t* word) {
    reader->next_word = word;
    reader->current_word = 0;
    reader->bits_left = 0;
    reader->last_bit = 0;
}

int ReadBit(BitReader* reader) {
    if (reader->bits_left == 0) {
        const uint8_t* word = reader->next_word;
        reader->current_word = static_cast<int16_t>(static_cast<uint16_t>(word[0] | (word[1] << 8)));
        reader->next_word = word + 2;
        reader->bits_left = 16;
    }
    --reader->bits_left;
    reader->last_bit = (reader->current_word >> reader->bits_left) & 1;
    return reader->last_bit;
}

int ReadBits(BitReader* reader, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | ReadBit(reader);
    return value;
}

int ReadTreeCode(BitReader* reader, const int16_t (*tree)[2], int32_t* available) {
    int node = 0;
    for (;;) {
        if (*available <= 0) return -1;
        --*available;
        const int child = tree[node][ReadBit(reader)];
        if (child <= 0) return -child;
        node = child;
    }
}
