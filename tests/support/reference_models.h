// Reference models written out one step at a time, as the algorithms read,
// for comparing the library's faster forms with.
#pragma once
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/core_tables.h"

// The categorisation of a layer: the offset search over sums of expected
// bits, then 31 balancing steps, each scanning every region of the
// high-rate or the low-rate set. Writes `regions` categories and the 31
// regions of the balance list.
inline void PlainCategorize(int regions, int bits, const int32_t* power, int32_t* categories, int32_t* balance) {
    const auto expected = [](int32_t category) { return ExpectedBits[std::clamp(category, 0, 7)]; };
    if (regions == kBaseRegions && bits >= 641) bits = ((5 * bits - 3200) >> 3) + 640;
    int32_t offset = -32;
    for (int32_t delta = 32; delta > 0; delta /= 2) {
        int32_t sum = 0;
        for (int r = 0; r < regions; ++r) sum += expected((offset + delta - power[r]) >> 1);
        if (sum >= bits - 32) offset += delta;
    }
    std::vector<int32_t> high(regions), low(regions), work(2 * kControlValues);
    int32_t high_sum = 0;
    for (int r = 0; r < regions; ++r) {
        high[r] = low[r] = std::clamp((offset - power[r]) >> 1, 0, 7);
        high_sum += ExpectedBits[high[r]];
    }
    int32_t low_sum = high_sum;
    int high_at = kControlValues, low_at = kControlValues;
    for (int step = 0; step < kControlValues - 1; ++step) {
        int best = 0;
        if (high_sum + low_sum <= 2 * bits) {
            for (int r = 0, smallest = 99; r < regions; ++r)
                if (high[r] > 0 && offset - power[r] - 2 * high[r] < smallest)
                    smallest = offset - power[r] - 2 * high[r], best = r;
            work[--high_at] = best;
            high_sum += expected(high[best] - 1) - expected(high[best]);
            --high[best];
        } else {
            for (int r = regions - 1, largest = -99; r >= 0; --r)
                if (low[r] < 7 && offset - power[r] - 2 * low[r] > largest)
                    largest = offset - power[r] - 2 * low[r], best = r;
            work[low_at++] = best;
            low_sum += expected(low[best] + 1) - expected(low[best]);
            ++low[best];
        }
    }
    for (int r = 0; r < regions; ++r) categories[r] = std::clamp(high[r], 0, 7);
    std::copy(work.begin() + high_at, work.begin() + high_at + kControlValues - 1, balance);
}

// The region order: a selection sort, swaps and all, taking the last of
// equal powers; `regions` travel with their powers.
inline std::vector<int32_t> SelectionSorted(std::vector<int32_t> power, std::vector<int32_t> regions) {
    for (size_t i = 0; i + 1 < power.size(); ++i) {
        size_t best = i;
        for (size_t j = i + 1; j < power.size(); ++j)
            if (power[best] <= power[j]) best = j;
        std::swap(power[i], power[best]);
        std::swap(regions[i], regions[best]);
    }
    return regions;
}
