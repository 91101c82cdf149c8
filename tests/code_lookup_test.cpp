// Table-driven reading of the core's prefix codes and the frame copy the
// reader works on: the same values, the same bits consumed and the same
// position as walking the decoding trees one bit at a time, for every code
// and every bit pattern, at every offset within a byte and with the bits
// available ending before, on and after the code's last bit; and the placing
// of noise signs. (The signs and digits a vector entry hands out are checked,
// value by value, by the core round trip.)
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/bit_reader.h"
#include "core/code_lookup.h"
#include "core/core_tables.h"
#include "core/sign_bits.h"
#include "frame_bits.h"

namespace {

// The reference: walks a decoding tree one bit at a time, each bit taking
// one from *available; -1 when they run out before a leaf.
int WalkTree(const std::vector<uint8_t>& frame, const int16_t (*tree)[2], int* position, int32_t* available) {
    int node = 0;
    for (;;) {
        if (*available <= 0) return -1;
        --*available;
        const int child = tree[node][FrameBit(frame.data(), (*position)++)];
        if (child <= 0) return -child;
        node = child;
    }
}

struct Reader {
    uint8_t copy[kFrameCopyBytes];
    BitReader reader;
};

Reader ReaderAt(const std::vector<uint8_t>& frame, int position) {
    Reader r;
    CopyFrameWords(frame.data(), static_cast<int>(frame.size()), r.copy);
    r.reader = StartBitReader(r.copy, position);
    return r;
}

// The vector index of a vector entry's digits; a five-digit vector's entry
// gives which digits are not 0 and which of them are 2.
int VectorIndex(CodeEntry entry, int category) {
    const int dimension = VectorDimension[category];
    const int field = DigitFieldBits(dimension);
    int index = 0;
    for (int j = 0; j < dimension; ++j) {
        const uint32_t digit = dimension == 5 ? ((NonzeroDigits(entry) >> j) & 1) + ((CodeValue(entry) >> j) & 1)
                                              : (CodeValue(entry) >> (j * field)) & ((1u << field) - 1);
        index = index * (MaxBin[category] + 1) + static_cast<int>(digit);
    }
    return index;
}

// A lookup, its tree, the category of a vector code (-1: a power
// difference code, whose entries hold the index itself), and the width of
// its first lookup.
struct NamedLookup {
    const CodeLookup& lookup;
    const int16_t (*tree)[2];
    int category;
    int first_bits;
};

template <int kFirstBits>
void ExpectReadAsWalk(const std::vector<uint8_t>& frame, const NamedLookup& l, int offset, int32_t budget) {
    Reader r = ReaderAt(frame, offset);
    int walked_position = offset;
    int32_t walked_left = budget, looked_up_left = budget;
    const CodeEntry entry = LookUpCode<kFirstBits>(l.lookup, PeekBits64(r.reader));
    int read = ReadCode<kFirstBits>(&r.reader, l.lookup, &looked_up_left);
    if (read >= 0 && l.category >= 0) read = VectorIndex(entry, l.category);
    EXPECT_EQ(read, WalkTree(frame, l.tree, &walked_position, &walked_left));
    EXPECT_EQ(looked_up_left, walked_left);
    EXPECT_EQ(r.reader.position, walked_position);
}

// Reads as the decoder does, at the lookup's own width.
template <int... kWidths>
void ExpectReadAsWalkAtWidth(const std::vector<uint8_t>& frame, const NamedLookup& l, int offset, int32_t budget) {
    const bool read = ((l.first_bits == kWidths && (ExpectReadAsWalk<kWidths>(frame, l, offset, budget), true)) || ...);
    ASSERT_TRUE(read) << "no reader of " << l.first_bits << " bits";
}

void ExpectReadAsWalk(const std::vector<uint8_t>& frame, const NamedLookup& l, int offset, int32_t budget) {
    ExpectReadAsWalkAtWidth<kPowerLookupBits, VectorLookupBits(2), VectorLookupBits(5)>(frame, l, offset, budget);
}

std::vector<NamedLookup> AllLookups() {
    std::vector<NamedLookup> all;
    for (int row = 0; row < 13; ++row) all.push_back({PowerCodeLookup(row), PowerCodeTree[row], -1, kPowerLookupBits});
    for (int c = 0; c < 7; ++c)
        all.push_back({VectorCodeLookup(c), VectorCodebooks[c].tree, c, VectorLookupBits(VectorDimension[c])});
    return all;
}

TEST(CodeLookup, EverySixteenBitPatternReadsAsTheTreeWalk) {
    // Also covers every second-level table: each code ends within 16 bits.
    int n = 0;
    for (const NamedLookup& l : AllLookups()) {
        SCOPED_TRACE(n++);
        for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
            const int offset = static_cast<int>(pattern % 23);  // every place within a byte and a word
            FrameWriter b;
            Put(&b, 0x5A5A5A5Au, offset);
            Put(&b, pattern, 16);
            // Bits available for any code, and from none to 16: ending before, on or after it.
            ExpectReadAsWalk(b.bytes, l, offset, 1000);
            ExpectReadAsWalk(b.bytes, l, offset, static_cast<int32_t>(pattern % 19) - 2);
            if (HasFailure()) return;
        }
    }
}

// Noise signs go to the zero coefficients of a region: the low bits, first
// bit first, to the set bits of a 10-bit mask in order.
TEST(SignBits, DepositPlacesTheLowBitsOnTheMaskInOrder) {
    for (uint32_t mask = 0; mask < 1024; ++mask)
        for (uint32_t bits : {0x3FFu, 0x2A5u, 0x15Au, 0x0F0u, 0x333u, 0x001u}) {
            uint32_t want = 0;
            for (int i = 0, taken = 0; i < 10; ++i)
                if ((mask >> i) & 1) want |= ((bits >> taken++) & 1) << i;
            ASSERT_EQ(DepositBits(mask, bits), want) << mask << " " << bits;
        }
}

TEST(BitReader, ReadsTheFrameInItsWordOrderFromACopy) {
    std::mt19937 rng(8);
    for (int bytes : {0, 1, 2, 7, 60, 159, 160}) {
        std::vector<uint8_t> frame(static_cast<size_t>(bytes));
        for (auto& byte : frame) byte = static_cast<uint8_t>(rng());
        // What the reader must see: the frame as whole words (an odd count
        // with its last byte repeated, no byte as one zero word), zeros after.
        std::vector<uint8_t> words = frame;
        if (bytes % 2 == 1) words.push_back(frame.back());
        words.resize(kFrameCopyBytes, 0);
        uint8_t copy[kFrameCopyBytes];
        CopyFrameWords(frame.data(), bytes, copy);
        BitReader reader = StartBitReader(copy, 0);
        const int end = bytes == 0 ? 16 : 8 * bytes + 8 * (bytes % 2);
        while (reader.position < end) {
            const int count = 1 + static_cast<int>(rng() % 32);
            const int start = reader.position;
            uint32_t expected = 0;
            for (int i = 0; i < count; ++i) expected = (expected << 1) | FrameBit(words.data(), start + i);
            ASSERT_EQ(ReadBits(&reader, count), expected) << bytes << " bytes, at " << start;
            EXPECT_EQ(reader.position, start + count);
        }
    }
}

}  // namespace
