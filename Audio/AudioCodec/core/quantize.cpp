// Vector quantisation of regions with Huffman-coded vector indices, and the
// rate control that picks a layer's categorisation control value.
#include "core/quantize.h"

#include <cstring>

#include "simd/lanes.h"

namespace {

constexpr int kNoBitsCategory = 7;

// Appends the low `length` bits of value (1 ... 32, nothing above them set),
// most significant first; they may straddle two words.
void AppendBits(RegionCode* code, uint32_t value, int length) {
    const int word = code->bits / 32;
    const int free_bits = 32 - code->bits % 32;
    if (length <= free_bits) {
        code->words[word] |= value << (free_bits - length);
    } else {
        code->words[word] |= value >> (length - free_bits);
        code->words[word + 1] |= value << (32 - (length - free_bits));
    }
    code->bits += length;
}

// Codes region r of a layer at its category: a category of 7 or more spends nothing.
int CodeRegion(int r, const float* coefficients, const int32_t* table_power, const int32_t* categories,
               RegionCode* codes) {
    if (categories[r] < kNoBitsCategory)
        return QuantizeRegion(coefficients + r * kRegionSize, table_power[r], categories[r], &codes[r]);
    codes[r].bits = 0;
    return 0;
}

}  // namespace

int QuantizeRegion(const float* coefficients, int32_t table_power, int32_t category, RegionCode* code) {
    std::memset(code, 0, sizeof *code);
    const float scale =
        static_cast<float>(static_cast<double>(InverseStandardDeviation[table_power]) * StepSizeInverse[category]);
    int32_t digits[kRegionSize];
    for (int i = 0; i < kRegionSize; i += 4) {
        const Int4 d = TruncateScaledMagnitude(LoadFloat4(coefficients + i), scale, DeadZone[category]);
        std::memcpy(digits + i, &d, sizeof d);
    }
    const int32_t max_bin = MaxBin[category];
    const VectorCodebook& book = VectorCodebooks[category];
    int k = 0;
    for (int v = 0; v < VectorsPerRegion[category]; ++v) {
        int32_t index = 0;
        uint32_t signs = 0;
        int sign_count = 0;
        for (int i = 0; i < VectorDimension[category]; ++i, ++k) {
            // Without branches: whether a digit is 0 follows the signal, not a pattern.
            const uint32_t nonzero = digits[k] != 0;
            signs = (signs << nonzero) | (nonzero & (coefficients[k] > 0.0f));
            sign_count += nonzero;
            // A digit above the max bin is clamped, but keeps its sign bit.
            index = index * (max_bin + 1) + (digits[k] < max_bin ? digits[k] : max_bin);
        }
        // The vector's code, then its sign bits.
        AppendBits(code, (static_cast<uint32_t>(book.code[index]) << sign_count) | signs,
                   book.length[index] + sign_count);
    }
    return code->bits;
}

int QuantizeLayer(int regions, int budget, const float* coefficients, const int32_t* table_power,
                  int32_t* categories, const int32_t* balance_list, RegionCode* codes) {
    // Start halfway: the first 15 balance-list regions one category coarser.
    int c = 0;
    for (; c < kControlValues / 2 - 1; ++c) ++categories[balance_list[c]];
    int total = 0;
    for (int r = 0; r < regions; ++r) total += CodeRegion(r, coefficients, table_power, categories, codes);

    // Spend more bits while they fit ...
    while (total < budget && c > 0) {
        const int r = balance_list[--c];
        total -= codes[r].bits;
        --categories[r];
        total += CodeRegion(r, coefficients, table_power, categories, codes);
    }
    // ... then give back until the layer fits, or no control value is left.
    while (total > budget && c < kControlValues - 1) {
        const int r = balance_list[c++];
        total -= codes[r].bits;
        ++categories[r];
        total += CodeRegion(r, coefficients, table_power, categories, codes);
    }
    return c;
}
