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

// The balancing steps pick regions by one key each, value * 64 + region: the
// value decides and the region number breaks ties, lowest first for the
// smallest key and highest first for the largest (a layer has fewer than 64
// regions). The keys are kept up to date as categories move, so a step is a
// search for the smallest (or largest) key, done in lanes of four.
constexpr int32_t kKeyScale = 64;
constexpr int kKeySlots = kRegions + 4;  // a layer padded to whole pairs of lanes
// Finer steps take values below 99, coarser ones values above -99; a region
// that cannot move has the key of no candidate, which stands for region 0.
constexpr int32_t kNoFinerKey = 99 * kKeyScale;
constexpr int32_t kNoCoarserKey = -99 * kKeyScale;

int RegionOfKey(int32_t key) { return key & (kKeyScale - 1); }

// Region r with H-category h: offset - p - 2H, when h > 0. A value of 99 or
// more gives a key not below kNoFinerKey, which never wins.
int32_t FinerKey(int32_t offset, int32_t power_index, int32_t h, int r) {
    return h > 0 ? (offset - power_index - 2 * h) * kKeyScale + r : kNoFinerKey;
}

// Region r with L-category l: offset - p - 2L, when l < 7 and above -99.
int32_t CoarserKey(int32_t offset, int32_t power_index, int32_t l, int r) {
    const int32_t value = offset - power_index - 2 * l;
    return l < kCategories - 1 && value > -99 ? value * kKeyScale + r : kNoCoarserKey;
}

// The region of the smallest key, or of the largest; keys are padded with
// `none` (a key that never wins) up to a multiple of 8.
int ExtremeKeyRegion(const int32_t* keys, int regions, int32_t none, bool largest) {
    const auto better = [largest](Int4 a, Int4 b) { return largest ? (a > b ? a : b) : (a < b ? a : b); };
    Int4 a = Int4{} + none, b = a;
    for (int r = 0; r < regions; r += 8) {
        a = better(a, LoadInt4(keys + r));
        b = better(b, LoadInt4(keys + r + 4));
    }
    a = better(a, b);
    const int32_t ab = largest ? std::max(a[0], a[1]) : std::min(a[0], a[1]);
    const int32_t cd = largest ? std::max(a[2], a[3]) : std::min(a[2], a[3]);
    return RegionOfKey(largest ? std::max(ab, cd) : std::min(ab, cd));
}

}  // namespace

void Categorize(int regions, int available_bits, const int32_t* power_indices, int32_t* categories,
                int32_t* balance_list) {
    // Only five eighths of the base bits above 640 count.
    if (regions == kBaseRegions && available_bits >= 641) available_bits = ((5 * available_bits - 3200) >> 3) + 640;

    const int32_t offset = FindOffset(regions, available_bits, power_indices);
    int32_t high[kRegions], low[kRegions];
    int32_t finer_keys[kKeySlots], coarser_keys[kKeySlots];
    std::fill(finer_keys + regions, finer_keys + kKeySlots, kNoFinerKey);
    std::fill(coarser_keys + regions, coarser_keys + kKeySlots, kNoCoarserKey);
    int32_t high_bits = 0;
    for (int r = 0; r < regions; ++r) {
        high[r] = low[r] = InitialCategory(offset, power_indices[r]);
        high_bits += ExpectedBits[high[r]];
        finer_keys[r] = FinerKey(offset, power_indices[r], high[r], r);
        coarser_keys[r] = CoarserKey(offset, power_indices[r], low[r], r);
    }
    int32_t low_bits = high_bits;

    // Finer steps are stored downwards from the middle, coarser ones upwards:
    // raising the list's regions in order first undoes the finer steps,
    // latest first, then takes the coarser steps in order.
    int32_t work[2 * kControlValues];
    int high_pos = kControlValues, low_pos = kControlValues;
    for (int step = 0; step < kControlValues - 1; ++step) {
        if (high_bits + low_bits <= 2 * available_bits) {
            const int r = ExtremeKeyRegion(finer_keys, regions, kNoFinerKey, false);
            work[--high_pos] = r;
            high_bits -= ExpectedBitsOf(high[r]);
            --high[r];
            high_bits += ExpectedBitsOf(high[r]);
            finer_keys[r] = FinerKey(offset, power_indices[r], high[r], r);
        } else {
            const int r = ExtremeKeyRegion(coarser_keys, regions, kNoCoarserKey, true);
            work[low_pos++] = r;
            low_bits -= ExpectedBitsOf(low[r]);
            ++low[r];
            low_bits += ExpectedBitsOf(low[r]);
            coarser_keys[r] = CoarserKey(offset, power_indices[r], low[r], r);
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
