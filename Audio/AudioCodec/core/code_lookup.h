// Decoding of the core's prefix codes (power differences and vector
// indices) by table lookup: the next few bits of the frame give the code,
// its length and, for a vector, its digits and how many sign bits follow;
// the few codes longer than that take one more lookup of the rest of 16.
#pragma once
#include <cstdint>

#include "core/bit_reader.h"

constexpr int kLongestCode = 16;
// The bits of the first lookup. A frame's lookups fall all over a table, and
// on the chain from one code to the next each that misses the cache waits
// for it: narrower tables touch fewer cache lines. The codes of five-digit
// vectors (categories 5 and 6, over half of a frame's vectors) and of power
// differences end within 8 bits 98 to 99 % of the time on the benchmark's
// audio; those of the other categories need 10 for about as many.
constexpr int kPowerLookupBits = 8;
constexpr int VectorLookupBits(int dimension) { return dimension == 5 ? 8 : 10; }

// One entry: what the bits looked up lead to, packed in 32 bits.
//   bits 0 ... 4    code length 1 ... 16, or 0: a link to a second table
//   bits 5 ... 9    which digits are not 0 (bit j: digit j), where the sign
//                   table's index (NegativeDigits) wants them
//   bits 10 ... 14  code length plus the vector's sign bits (one per non-zero digit)
//   bits 15 ... 31  a power difference index; a vector's digits, digit j at
//                   bit j x DigitFieldBits; or a link's table offset. Five-
//                   digit vectors (digits 0 ... 2) have instead which digits
//                   are 2 (bits 15 ... 19, bit j: digit j) and the digits'
//                   weight: 1 for each non-zero digit, 3 more for each 2
//                   (bits 20 ... 24), by which their region's noise is set
using CodeEntry = uint32_t;

struct CodeLookup {
    const CodeEntry* entries;
};

constexpr int kCodeValueShift = 15;
// Wide enough for the largest digit of two- and four-digit vectors (13 and 4).
constexpr int DigitFieldBits(int dimension) { return (32 - kCodeValueShift) / dimension; }

inline int CodeLength(CodeEntry entry) { return static_cast<int>(entry & 31); }
inline int CodeAndSignBits(CodeEntry entry) { return static_cast<int>((entry >> 10) & 31); }
inline uint32_t NonzeroDigits(CodeEntry entry) { return (entry >> 5) & 31; }
inline uint32_t CodeValue(CodeEntry entry) { return entry >> kCodeValueShift; }
constexpr int kTwosBits = 5;
inline uint32_t TwoDigits(CodeEntry entry) { return CodeValue(entry) & ((1u << kTwosBits) - 1); }
inline int DigitWeight(CodeEntry entry) { return static_cast<int>(entry >> (kCodeValueShift + kTwosBits)); }

// The entry of the code that starts at the top of `bits` (PeekBits64), from
// a table whose first lookup takes kFirstBits. Its length may exceed the bits
// the layer has left; which code the bits within them begin is decided all
// the same, since no code is the start of another.
template <int kFirstBits>
inline CodeEntry LookUpCode(const CodeLookup& lookup, uint64_t bits) {
    const CodeEntry entry = lookup.entries[bits >> (64 - kFirstBits)];
    if (CodeLength(entry) != 0) return entry;
    return lookup.entries[CodeValue(entry) + ((bits << kFirstBits) >> (64 - (kLongestCode - kFirstBits)))];
}

// Reads one code and returns its index. When the code does not end within
// the bits available, the rest of them is read, nothing is left and the
// result is -1, as reading bit by bit would leave it. *bits holds the next
// bits (PeekBits64 at the reader) and goes on with the reader, so a caller
// may read a second code of up to 16 bits from the same look.
template <int kFirstBits>
inline int ReadCode(BitReader* reader, const CodeLookup& lookup, uint64_t* bits, int32_t* available) {
    const CodeEntry entry = LookUpCode<kFirstBits>(lookup, *bits);
    const int length = CodeLength(entry);
    if (length > *available) {
        const int32_t rest = *available > 0 ? *available : 0;
        reader->position += rest;
        *available -= rest;
        return -1;
    }
    reader->position += length;
    *available -= length;
    *bits <<= length;
    return static_cast<int>(CodeValue(entry));
}

template <int kFirstBits>
inline int ReadCode(BitReader* reader, const CodeLookup& lookup, int32_t* available) {
    uint64_t bits = PeekBits64(*reader);
    return ReadCode<kFirstBits>(reader, lookup, &bits, available);
}

// Built on first use, once per process. The power difference codes' rows
// 0 ... 12 and the vector codes' categories 0 ... 6 side by side, so that a
// reader of many regions fetches them once.
const CodeLookup* PowerCodeLookups();
const CodeLookup* VectorCodeLookups();
inline const CodeLookup& PowerCodeLookup(int row) { return PowerCodeLookups()[row]; }
inline const CodeLookup& VectorCodeLookup(int category) { return VectorCodeLookups()[category]; }
