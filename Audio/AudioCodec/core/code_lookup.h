// Decoding of the core's prefix codes (power differences and vector
// indices) by table lookup: eight bits at a time instead of one tree step
// per bit, with the same result and the same bits read; and the digits of
// every vector index.
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

constexpr int kMaxVectorDimension = 5;

// The digits of a vector index, first digit first, and how many are not 0.
struct VectorDigits {
    uint8_t digit[kMaxVectorDimension];
    uint8_t nonzero;
};

// Built on first use, once per process.
const CodeLookup& PowerCodeLookup(int row);
const CodeLookup& VectorCodeLookup(int category);
// Indexed by vector index.
const VectorDigits* VectorDigitsOf(int category);

// As ReadTreeCode over the lookup's tree (inline: one call per code read).
inline int ReadCode(BitReader* reader, const CodeLookup& lookup, int32_t* available) {
    // Near the end of the bits available the lookup could look past them.
    if (*available < kLookupBits) return ReadTreeCode(reader, lookup.tree, available);
    const CodeLookupEntry& entry = lookup.entries[PeekBits(reader, kLookupBits)];
    SkipBits(reader, entry.length);
    *available -= entry.length;
    return entry.leaf ? entry.target : ReadTreeCodeFrom(reader, lookup.tree, entry.target, available);
}
