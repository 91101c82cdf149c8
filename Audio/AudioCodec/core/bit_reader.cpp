#include "core/bit_reader.h"

void StartBitReader(BitReader* reader, const uint8_t* word) {
    reader->next_word = word;
    reader->current_word = 0;
    reader->bits_left = 0;
    reader->last_bit = 0;
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
