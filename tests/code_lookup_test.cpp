// Table-driven reading of the core's prefix codes and multi-bit reads: the
// same values, the same bits consumed and the same reader state as reading
// one bit at a time, for every code, at every offset within a word and with
// the bits available ending before, on and after the code's last bit.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "core/bit_reader.h"
#include "core/code_lookup.h"
#include "core/core_tables.h"

namespace {

// A frame of 16-bit little-endian words filled most significant bit first.
struct Bits {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64, 0);
    int position = 0;
};

void Put(Bits* b, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i, ++b->position) {
        const int shift = 15 - b->position % 16;
        if ((value >> i) & 1) b->bytes[2 * (b->position / 16) + shift / 8] |= static_cast<uint8_t>(1u << (shift % 8));
    }
}

void ExpectSameState(const BitReader& a, const BitReader& b) {
    EXPECT_EQ(a.next_word, b.next_word);
    EXPECT_EQ(a.current_word, b.current_word);
    EXPECT_EQ(a.bits_left, b.bits_left);
    EXPECT_EQ(a.last_bit, b.last_bit);
}

// Puts `code` after `offset` random bits and random bits after it, then reads
// it with the lookup and with the tree walk, for several bit budgets.
void ExpectCodeReadsAsTreeWalk(const CodeLookup& lookup, uint32_t code, int length, int offset, std::mt19937* rng) {
    Bits b;
    Put(&b, (*rng)() & ((1u << offset) - 1), offset);
    Put(&b, code, length);
    Put(&b, (*rng)(), 32);
    for (int budget : {length - 1, length, length + 3, 8, 7, 200}) {
        SCOPED_TRACE(testing::Message() << "length " << length << " offset " << offset << " budget " << budget);
        BitReader walked, looked_up;
        StartBitReader(&walked, b.bytes.data());
        ReadBits(&walked, offset);
        looked_up = walked;
        int32_t walked_left = budget, looked_up_left = budget;
        EXPECT_EQ(ReadCode(&looked_up, lookup, &looked_up_left), ReadTreeCode(&walked, lookup.tree, &walked_left));
        EXPECT_EQ(looked_up_left, walked_left);
        ExpectSameState(looked_up, walked);
    }
}

TEST(CodeLookup, EveryCodeReadsAsTheTreeWalkReadsIt) {
    std::mt19937 rng(3);
    for (int row = 0; row < 13; ++row)
        for (int index = 0; index < 24; ++index)
            for (int offset = 0; offset < 16; offset += 5)
                ExpectCodeReadsAsTreeWalk(PowerCodeLookup(row), PowerCode[row][index], PowerCodeLength[row][index],
                                          offset, &rng);
    for (int category = 0; category < 7; ++category) {
        const VectorCodebook& book = VectorCodebooks[category];
        for (int index = 0; index < book.entries; ++index)
            ExpectCodeReadsAsTreeWalk(VectorCodeLookup(category), book.code[index], book.length[index],
                                      index % 16, &rng);
    }
}

TEST(CodeLookup, ShortAndLongCodesResolveToTheirIndex) {
    // Category 6 in full is known: 0 is "1", 15 is "0110101000" (past the
    // eight bits of one lookup), 18 is "0000000".
    for (const auto& [index, code, length] : {std::tuple{0, 0b1u, 1}, std::tuple{15, 0b0110101000u, 10},
                                             std::tuple{18, 0b0000000u, 7}}) {
        Bits b;
        Put(&b, code, length);
        Put(&b, 0xFFFFFFFFu, 32);
        BitReader r;
        StartBitReader(&r, b.bytes.data());
        int32_t available = 40;
        EXPECT_EQ(ReadCode(&r, VectorCodeLookup(6), &available), index);
        EXPECT_EQ(available, 40 - length);
    }
}

TEST(CodeLookup, VectorDigitsRebuildEveryIndex) {
    for (int category = 0; category < 7; ++category) {
        const int base = MaxBin[category] + 1;
        for (int index = 0; index < VectorCodebooks[category].entries; ++index) {
            const VectorDigits& d = VectorDigitsOf(category)[index];
            int rebuilt = 0, nonzero = 0;
            for (int j = 0; j < VectorDimension[category]; ++j) {
                EXPECT_LE(d.digit[j], MaxBin[category]);
                rebuilt = rebuilt * base + d.digit[j];
                nonzero += d.digit[j] != 0;
            }
            EXPECT_EQ(rebuilt, index) << "category " << category;
            EXPECT_EQ(d.nonzero, nonzero) << "category " << category << " index " << index;
        }
    }
}

TEST(BitReader, MultiBitReadsMatchReadingBitByBit) {
    std::mt19937 rng(8);
    std::vector<uint8_t> bytes(256);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(rng());
    BitReader fast, slow;
    StartBitReader(&fast, bytes.data());
    StartBitReader(&slow, bytes.data());
    int consumed = 0;
    while (consumed < 1800) {
        const int count = static_cast<int>(rng() % 17);  // 0 ... 16
        int expected = 0;
        for (int i = 0; i < count; ++i) expected = (expected << 1) | ReadBit(&slow);
        if (count > 0) EXPECT_EQ(PeekBits(&fast, count), expected);
        ASSERT_EQ(ReadBits(&fast, count), expected) << "after " << consumed << " bits";
        ExpectSameState(fast, slow);
        consumed += count;
    }
}

}  // namespace
