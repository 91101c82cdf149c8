// Categorisation of a layer's regions and their sending order. Encoder and
// decoder both run these on the decoded power indices, so every step here is
// part of the frame format.
#include "core/categorize.h"

#include <algorithm>

#include "core/core_tables.h"
#include "simd/lanes.h"

namespace {

// Working categories may leave 0 ... 7 when a balancing step finds no region
// to move; the expected bits of such a category are those of the nearest end.
int32_t ExpectedBitsOf(int32_t category) { return ExpectedBits[std::clamp(category, 0, kCategories - 1)]; }

int32_t InitialCategory(int32_t offset, int32_t power_index) {
    return std::clamp((offset - power_index) >> 1, 0, kCategories - 1);
}

// The offset whose categories spend just over the budget less 32 bits.
int32_t FindOffset(int regions, int available_bits, const int32_t* power_indices) {
    int32_t offset = -32;
    for (int32_t delta = 32; delta > 0; delta >>= 1) {
        const int32_t trial = offset + delta;
        int32_t bits = 0;
        for (int r = 0; r < regions; ++r) bits += ExpectedBits[InitialCategory(trial, power_indices[r])];
        if (bits >= available_bits - 32) offset = trial;
    }
    return offset;
}

// The balancing steps search the layer (28 or 16 regions) in four lanes:
// lane k keeps the best of regions k, k + 4, k + 8, ..., so each lane's
// search chain is a quarter as long; the lanes' winners are then compared.
// A candidate is ranked by one key, value * 64 + region: the value decides
// and the region number breaks ties, lowest first for the smallest key and
// highest first for the largest (a layer has fewer than 64 regions).
static_assert(kBaseRegions % 4 == 0 && kExtRegions % 4 == 0, "a layer searches in fours");
constexpr int32_t kKeyScale = 64;
const Int4 kLaneOffsets = {0, 1, 2, 3};

int RegionOfKey(int32_t key) { return key & (kKeyScale - 1); }

// Region with H-category > 0 and the smallest offset - p - 2H, lowest region
// on ties; only values below 99 count, and without any, region 0.
int FinerRegion(int regions, int32_t offset, const int32_t* power_indices, const int32_t* high) {
    const Int4 none = Int4{} + 99 * kKeyScale;  // above every key of a value below 99
    Int4 best = none;
    for (int r = 0; r < regions; r += 4) {
        const Int4 h = LoadInt4(high + r);
        const Int4 key = (offset - LoadInt4(power_indices + r) - 2 * h) * kKeyScale + (r + kLaneOffsets);
        const Int4 candidate = h > 0 ? key : none;
        best = candidate < best ? candidate : best;
    }
    return RegionOfKey(std::min(std::min(best[0], best[1]), std::min(best[2], best[3])));
}

// Region with L-category < 7 and the largest offset - p - 2L, highest region
// on ties; only values above -99 count, and without any, region 0.
int CoarserRegion(int regions, int32_t offset, const int32_t* power_indices, const int32_t* low) {
    const Int4 none = Int4{} - 99 * kKeyScale;  // below every key of a value above -99
    Int4 best = none;
    for (int r = 0; r < regions; r += 4) {
        const Int4 l = LoadInt4(low + r);
        const Int4 value = offset - LoadInt4(power_indices + r) - 2 * l;
        const Int4 candidate = (l < kCategories - 1) & (value > -99) ? value * kKeyScale + (r + kLaneOffsets) : none;
        best = candidate > best ? candidate : best;
    }
    return RegionOfKey(std::max(std::max(best[0], best[1]), std::max(best[2], best[3])));
}

}  // namespace

void Categorize(int regions, int available_bits, const int32_t* power_indices, int32_t* categories,
                int32_t* balance_list) {
    // Only five eighths of the base bits above 640 count.
    if (regions == kBaseRegions && available_bits >= 641) available_bits = ((5 * available_bits - 3200) >> 3) + 640;

    const int32_t offset = FindOffset(regions, available_bits, power_indices);
    int32_t high[kRegions], low[kRegions];
    int32_t high_bits = 0;
    for (int r = 0; r < regions; ++r) {
        high[r] = low[r] = InitialCategory(offset, power_indices[r]);
        high_bits += ExpectedBits[high[r]];
    }
    int32_t low_bits = high_bits;

    // Finer steps are stored downwards from the middle, coarser ones upwards:
    // raising the list's regions in order first undoes the finer steps,
    // latest first, then takes the coarser steps in order.
    int32_t work[2 * kControlValues];
    int high_pos = kControlValues, low_pos = kControlValues;
    for (int step = 0; step < kControlValues - 1; ++step) {
        if (high_bits + low_bits <= 2 * available_bits) {
            const int r = FinerRegion(regions, offset, power_indices, high);
            work[--high_pos] = r;
            high_bits -= ExpectedBitsOf(high[r]);
            --high[r];
            high_bits += ExpectedBitsOf(high[r]);
        } else {
            const int r = CoarserRegion(regions, offset, power_indices, low);
            work[low_pos++] = r;
            low_bits -= ExpectedBitsOf(low[r]);
            ++low[r];
            low_bits += ExpectedBitsOf(low[r]);
        }
    }
    for (int r = 0; r < regions; ++r) categories[r] = std::clamp(high[r], 0, kCategories - 1);
    std::copy(work + high_pos, work + high_pos + kControlValues - 1, balance_list);
}

void SortRegionsByPower(const int32_t* power_indices, int regions, int32_t* region_numbers) {
    int32_t power[kRegions];
    std::copy(power_indices, power_indices + regions, power);
    for (int i = 0; i < regions - 1; ++i) {
        int best = i;
        int32_t best_power = power[i];
        for (int j = i + 1; j < regions; ++j) {
            const bool better = best_power <= power[j];  // no branch to mispredict
            best_power = better ? power[j] : best_power;
            best = better ? j : best;
        }
        std::swap(power[i], power[best]);
        std::swap(region_numbers[i], region_numbers[best]);
    }
}
