// Vector quantisation of regions with Huffman-coded vector indices, and the
// rate control that picks a layer's categorisation control value.
#include "core/quantize.h"

#include <cstring>

#include "simd/lanes.h"

namespace {

constexpr int kNoBitsCategory = 7;

// Quantiser digits of a region's 20 coefficients, each held to the
// category's max bin (a clamped digit is still non-zero, so it still takes
// its sign bit).
void RegionDigits(const float* coefficients, int32_t table_power, int32_t category, int32_t* digits) {
    const float scale =
        static_cast<float>(static_cast<double>(InverseStandardDeviation[table_power]) * StepSizeInverse[category]);
    const Int4 max_bin = Int4{} + MaxBin[category];
    for (int i = 0; i < kRegionSize; i += 4) {
        const Int4 d = TruncateScaledMagnitude(LoadFloat4(coefficients + i), scale, DeadZone[category]);
        const Int4 held = d < max_bin ? d : max_bin;
        std::memcpy(digits + i, &held, sizeof held);
    }
}

// The vector loops below take the dimension as a constant, so that each
// category's loop is laid out in full.

// The index of a vector of kDimension digits in base max bin + 1.
template <int kDimension>
int32_t VectorIndex(const int32_t* digits, int32_t base) {
    int32_t index = 0;
    for (int i = 0; i < kDimension; ++i) index = index * base + digits[i];
    return index;
}

template <int kDimension>
int SumOfVectorBits(const int32_t* digits, int32_t category) {
    int bits = 0;
    for (int k = 0; k < kRegionSize; k += kDimension)
        bits += VectorBits[category][VectorIndex<kDimension>(digits + k, MaxBin[category] + 1)];
    return bits;
}

template <int kDimension>
void WriteVectors(const float* coefficients, const int32_t* digits, int32_t category, int end, BitWriter* writer) {
    const VectorCodebook& book = VectorCodebooks[category];
    for (int k = 0; k < kRegionSize; k += kDimension) {
        uint32_t signs = 0;
        int sign_count = 0;
        for (int i = k; i < k + kDimension; ++i) {
            // Without branches: whether a digit is 0 follows the signal, not a pattern.
            const uint32_t nonzero = digits[i] != 0;
            signs = (signs << nonzero) | (nonzero & (coefficients[i] > 0.0f));
            sign_count += nonzero;
        }
        // The vector's code, then its sign bits; only their leading bits
        // if the frame ends first.
        const int32_t index = VectorIndex<kDimension>(digits + k, MaxBin[category] + 1);
        const uint32_t value = (static_cast<uint32_t>(book.code[index]) << sign_count) | signs;
        const int length = book.length[index] + sign_count;
        const int room = end - writer->position;
        if (length >= room) {
            WriteBits(writer, value >> (length - room), room);
            return;
        }
        WriteBits(writer, value, length);
    }
}

}  // namespace

int QuantizeRegion(const float* coefficients, int32_t table_power, int32_t category, QuantisedRegion* region) {
    if (category >= kNoBitsCategory) return 0;
    RegionDigits(coefficients, table_power, category, region->digits);
    switch (VectorDimension[category]) {
        case 2: return SumOfVectorBits<2>(region->digits, category);
        case 4: return SumOfVectorBits<4>(region->digits, category);
        default: return SumOfVectorBits<5>(region->digits, category);
    }
}

void WriteRegion(const float* coefficients, const QuantisedRegion& region, int32_t category, int end,
                 BitWriter* writer) {
    switch (category < kNoBitsCategory ? VectorDimension[category] : 0) {
        case 0: return;
        case 2: return WriteVectors<2>(coefficients, region.digits, category, end, writer);
        case 4: return WriteVectors<4>(coefficients, region.digits, category, end, writer);
        default: return WriteVectors<5>(coefficients, region.digits, category, end, writer);
    }
}

int QuantizeLayer(int regions, int budget, const float* coefficients, const int32_t* table_power,
                  int32_t* categories, const int32_t* balance_list, QuantisedRegion* quantised) {
    // Only bit counts matter here; each region's last quantisation is at its
    // final category, and the frame is written from those digits.
    const auto quantize = [&](int r) {
        return QuantizeRegion(coefficients + r * kRegionSize, table_power[r], categories[r], &quantised[r]);
    };
    int32_t bits[kBaseRegions];
    // Start halfway: the first 15 balance-list regions one category coarser.
    int c = 0;
    for (; c < kControlValues / 2 - 1; ++c) ++categories[balance_list[c]];
    int total = 0;
    for (int r = 0; r < regions; ++r) total += bits[r] = quantize(r);

    // Spend more bits while they fit ...
    while (total < budget && c > 0) {
        const int r = balance_list[--c];
        total -= bits[r];
        --categories[r];
        total += bits[r] = quantize(r);
    }
    // ... then give back until the layer fits, or no control value is left.
    while (total > budget && c < kControlValues - 1) {
        const int r = balance_list[c++];
        total -= bits[r];
        ++categories[r];
        total += bits[r] = quantize(r);
    }
    return c;
}
