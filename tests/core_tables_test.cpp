// Tables of the spectral core: computed power tables, and the compiled code
// tables checked against the committed code data they are generated from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/core_tables.h"

namespace {

std::string CoreDataPath(const char* name) {
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/../Audio/AudioCodec/core/data/" + name;
}

// Lines of a data file without comments, split at spaces.
std::vector<std::vector<std::string>> DataRows(const char* name) {
    std::ifstream in(CoreDataPath(name));
    EXPECT_TRUE(in.good()) << CoreDataPath(name);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;) row.push_back(f);
        rows.push_back(row);
    }
    return rows;
}

uint32_t CodeValue(const std::string& bits) { return static_cast<uint32_t>(std::stoul(bits, nullptr, 2)); }

std::string CodeBits(uint32_t value, int length) {
    std::string bits;
    for (int i = length - 1; i >= 0; --i) bits += ((value >> i) & 1) ? '1' : '0';
    return bits;
}

// Walks a decoding tree along `bits`; returns the leaf index, or -1 if the
// walk reaches a leaf before the last bit or has not reached one after it.
int TreeDecode(const int16_t (*tree)[2], const std::string& bits) {
    int node = 0;
    for (size_t i = 0; i < bits.size(); ++i) {
        const int child = tree[node][bits[i] - '0'];
        if (child <= 0) return i + 1 == bits.size() ? -child : -1;
        node = child;
    }
    return -1;
}

// No distinct code word is a prefix of another.
bool PrefixFree(std::vector<std::string> words) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    for (size_t i = 1; i < words.size(); ++i)
        if (words[i].compare(0, words[i - 1].size(), words[i - 1]) == 0) return false;
    return true;
}

// Internal nodes reachable from the root (a complete binary tree over w
// distinct words has w - 1).
int ReachableNodes(const int16_t (*tree)[2], int node = 0) {
    int count = 1;
    for (int bit = 0; bit < 2; ++bit)
        if (tree[node][bit] > 0) count += ReachableNodes(tree, tree[node][bit]);
    return count;
}

TEST(CoreTables, ComputedPowerTables) {
    InitCoreTables();
    EXPECT_EQ(StandardDeviation[24], 1.0f);
    EXPECT_NEAR(StandardDeviation[25], 1.41421, 1e-5);
    EXPECT_NEAR(StandardDeviation[0], std::ldexp(1.0, -12), 1e-9);
    for (int i = 0; i < 64; ++i) {
        // The power is rounded to float before its square root is taken.
        const float power = static_cast<float>(std::pow(10.0, 0.3010299957 * (i - 24)));
        EXPECT_EQ(StandardDeviation[i], static_cast<float>(std::sqrt(static_cast<double>(power)))) << i;
        EXPECT_EQ(InverseStandardDeviation[i], static_cast<float>(1.0 / StandardDeviation[i])) << i;
        EXPECT_NEAR(StandardDeviation[i] / std::pow(2.0, (i - 24) / 2.0), 1.0, 1e-6) << i;
    }
    // Each boundary lies between the powers of its two neighbouring indices.
    for (int i = 0; i < 63; ++i) {
        const double lower = static_cast<double>(StandardDeviation[i]) * StandardDeviation[i];
        const double upper = static_cast<double>(StandardDeviation[i + 1]) * StandardDeviation[i + 1];
        EXPECT_GT(PowerBoundary[i], lower) << i;
        EXPECT_LT(PowerBoundary[i], upper) << i;
    }
    const int32_t bin_inverse[8] = {2341, 3277, 4682, 6554, 8193, 10923, 16385, 16385};
    for (int c = 0; c < kCategories; ++c) {
        EXPECT_EQ(BinInverse[c], bin_inverse[c]) << c;
        EXPECT_NEAR(StepSizeInverse[c] * StepSize[c], 1.0f, 1e-7f) << c;
    }
}

TEST(CoreTables, SecondInitChangesNothing) {
    InitCoreTables();
    float before[64];
    std::memcpy(before, StandardDeviation, sizeof before);
    StandardDeviation[3] = -1.0f;  // a rebuild would restore it
    InitCoreTables();
    EXPECT_EQ(StandardDeviation[3], -1.0f);
    std::memcpy(StandardDeviation, before, sizeof before);
}

TEST(CoreTables, CategoryConstantsAreConsistent) {
    InitCoreTables();
    const int32_t entries[7] = {196, 100, 49, 625, 256, 243, 32};
    for (int c = 0; c < kCategories; ++c) {
        EXPECT_EQ(VectorDimension[c] * VectorsPerRegion[c], kRegionSize) << c;
        if (c == 7) continue;
        EXPECT_EQ(std::pow(MaxBin[c] + 1, VectorDimension[c]), entries[c]) << c;
        EXPECT_EQ(VectorCodebooks[c].entries, entries[c]) << c;
        // splitting an index into digits with the bin inverse is exact
        for (int index = 0; index < entries[c]; ++index)
            EXPECT_EQ((index * BinInverse[c]) >> 15, index / (MaxBin[c] + 1)) << c << " " << index;
    }
}

TEST(CoreTables, VectorBitsAreCodeLengthPlusSigns) {
    // A few vectors by hand: category 0's index 0 has no sign bits; index
    // 15 (digits 1, 1) two; category 5's index 242 (digits 2, 2, 2, 2, 2) five.
    InitCoreTables();
    EXPECT_EQ(VectorBits[0][0], VectorCodebooks[0].length[0]);
    EXPECT_EQ(VectorBits[0][15], VectorCodebooks[0].length[15] + 2);
    EXPECT_EQ(VectorBits[5][242], VectorCodebooks[5].length[242] + 5);
    EXPECT_EQ(VectorBits[3][1], VectorCodebooks[3].length[1] + 1);
    // Every entry: digits read most significant first, as the decoder splits them.
    for (int c = 0; c < 7; ++c) {
        for (int index = 0; index < VectorCodebooks[c].entries; ++index) {
            int signs = 0, rest = index;
            for (int i = 0; i < VectorDimension[c]; ++i, rest /= MaxBin[c] + 1) signs += rest % (MaxBin[c] + 1) > 0;
            ASSERT_EQ(VectorBits[c][index], VectorCodebooks[c].length[index] + signs) << c << " " << index;
        }
    }
}

TEST(CoreTables, PowerCodesMatchDataFile) {
    const auto rows = DataRows("power_codes.txt");
    ASSERT_EQ(rows.size(), 13u);
    for (int row = 0; row < 13; ++row) {
        ASSERT_EQ(rows[row].size(), 24u);
        EXPECT_TRUE(PrefixFree(rows[row])) << row;
        EXPECT_EQ(ReachableNodes(PowerCodeTree[row]), 23) << row;
        for (int index = 0; index < 24; ++index) {
            const std::string& bits = rows[row][index];
            EXPECT_EQ(PowerCodeLength[row][index], bits.size()) << row << " " << index;
            EXPECT_EQ(PowerCode[row][index], CodeValue(bits)) << row << " " << index;
            EXPECT_EQ(TreeDecode(PowerCodeTree[row], bits), index) << row << " " << index;
        }
    }
    // Spot checks of the data itself: d = 0 in the first row is "101", in the last "10";
    // d = -12 in the first row is "1000".
    EXPECT_EQ(CodeBits(PowerCode[0][12], PowerCodeLength[0][12]), "101");
    EXPECT_EQ(CodeBits(PowerCode[12][12], PowerCodeLength[12][12]), "10");
    EXPECT_EQ(CodeBits(PowerCode[0][0], PowerCodeLength[0][0]), "1000");
}

TEST(CoreTables, VectorCodebooksMatchDataFile) {
    const auto rows = DataRows("vector_codebooks.txt");
    std::vector<std::string> words[7];
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u);
        const int category = std::stoi(row[0]), index = std::stoi(row[1]);
        const std::string& bits = row[3];
        ASSERT_GE(category, 0);
        ASSERT_LT(category, 7);
        const VectorCodebook& book = VectorCodebooks[category];
        ASSERT_EQ(index, static_cast<int>(words[category].size()));
        ASSERT_LT(index, book.entries);
        EXPECT_EQ(std::stoi(row[2]), static_cast<int>(bits.size()));
        EXPECT_EQ(book.length[index], bits.size()) << category << " " << index;
        EXPECT_EQ(book.code[index], CodeValue(bits)) << category << " " << index;
        EXPECT_EQ(TreeDecode(book.tree, bits), std::stoi(row[4])) << category << " " << index;
        words[category].push_back(bits);
    }
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(static_cast<int>(words[c].size()), VectorCodebooks[c].entries) << c;
        EXPECT_TRUE(PrefixFree(words[c])) << c;
        std::vector<std::string> distinct = words[c];
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        EXPECT_EQ(ReachableNodes(VectorCodebooks[c].tree), static_cast<int>(distinct.size()) - 1) << c;
    }
}

TEST(CoreTables, VectorCodebookTellingRows) {
    const VectorCodebook& c0 = VectorCodebooks[0];
    const int lengths[14] = {1, 4, 6, 6, 7, 7, 8, 8, 8, 9, 9, 10, 11, 11};
    const int codes[14] = {1, 2, 1, 24, 14, 51, 9, 68, 110, 26, 218, 54, 154, 761};
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(c0.length[i], lengths[i]) << i;
        EXPECT_EQ(c0.code[i], codes[i]) << i;
    }
    const char* category6[32] = {
        "1",        "0010",     "0100",      "000010",   "0101",       "011101",    "011000",
        "01100101", "0011",     "011111",    "011100",   "01101001",   "000011",    "000000101",
        "01100110", "0110101000", "0001",    "011110",   "0000000",    "01101011",  "011011",
        "011001000", "01100111", "01100100110", "000001", "000000100", "01101000",  "0110010010",
        "00000011", "0110101001", "011010101", "01100100111"};
    for (int i = 0; i < 32; ++i) {
        const VectorCodebook& c6 = VectorCodebooks[6];
        EXPECT_EQ(CodeBits(c6.code[i], c6.length[i]), category6[i]) << i;
        EXPECT_EQ(TreeDecode(c6.tree, category6[i]), i) << i;
    }
    // Two indices share one code word; the tree returns the first.
    for (int index : {138, 139}) {
        EXPECT_EQ(CodeBits(c0.code[index], c0.length[index]), "0001001101110111") << index;
    }
    EXPECT_EQ(TreeDecode(c0.tree, "0001001101110111"), 138);
}

}  // namespace
