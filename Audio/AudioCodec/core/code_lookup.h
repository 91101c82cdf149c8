// Decoding of the core's prefix codes (power differences and vector
// indices) by table lookup: eight bits at a time instead of one tree step
// per bit, with the same result and the same bits read.
#pragma once
#include <cstdint>

#include "core/bit_reader.h"

constexpr int kLookupBits = 8;

// What the next eight bits lead to: a leaf after `length` bits, or, for a
// longer code, the tree node reached after all eight.
struct CodeLookupEntry {
    int16_t target;  // leaf index, or node
    uint8_t length;
    uint8_t leaf;
};

struct CodeLookup {
    const int16_t (*tree)[2];
    CodeLookupEntry entries[1 << kLookupBits];
};

// Built on first use, once per process.
const CodeLookup& PowerCodeLookup(int row);
const CodeLookup& VectorCodeLookup(int category);

// As ReadTreeCode over the lookup's tree.
int ReadCode(BitReader* reader, const CodeLookup& lookup, int32_t* available);
