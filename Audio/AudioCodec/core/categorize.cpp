// Categorisation of a layer's regions and their sending order. Encoder and
// decoder both run these on the decoded power indices, so every step here is
// part of the frame format.
#include "core/categorize.h"

#include <algorithm>
#include <cstring>

#include "core/core_tables.h"

namespace {

constexpr int kSteps = kControlValues - 1;

// Working categories may leave 0 ... 7 when a balancing step finds no region
// to move; the expected bits of such a category are those of the nearest end.
int32_t ExpectedBitsOf(int32_t category) { return ExpectedBits[std::clamp(category, 0, kCategories - 1)]; }

// The offset search tries offsets -31 ... 31. A region's category at
// offset t is (t - p) >> 1 held to 0 ... 7, so it is at most k exactly when
// p >= t - 2k - 1; and as a category falls from 7 to 0 its expected bits rise
// by ExpectedBits[k] - ExpectedBits[k + 1] for k = 6, 5, ... 0. The expected
// bits of a layer at offset t are therefore the sum over k of that rise
// times the number of regions with p >= t - 2k - 1, a count of power
// indices at or above thresholds -44 ... 30.
constexpr int32_t kLowestThreshold = -44;
constexpr int kThresholds = 75;

// The offset whose categories spend just over the budget less 32 bits.
int32_t FindOffset(int regions, int available_bits, const int32_t* power_indices) {
    // at_least[1 + i]: regions with p >= kLowestThreshold + i; slot 0 counts
    // those below every threshold, the last slot also those above all.
    int32_t at_least[kThresholds + 1] = {};
    for (int r = 0; r < regions; ++r)
        ++at_least[std::clamp(power_indices[r] - kLowestThreshold + 1, 0, kThresholds)];
    for (int i = kThresholds - 1; i > 0; --i) at_least[i] += at_least[i + 1];

    int32_t offset = -32;
    for (int32_t delta = 32; delta > 0; delta >>= 1) {
        const int32_t trial = offset + delta;
        int32_t bits = 0;
        for (int k = 0; k < kCategories - 1; ++k)
            bits += (ExpectedBits[k] - ExpectedBits[k + 1]) * at_least[trial - 2 * k - 1 - kLowestThreshold + 1];
        if (bits >= available_bits - 32) offset = trial;
    }
    return offset;
}

// A balancing step moves the region whose value offset - p - 2 * category
// is the smallest (finer step, among categories above 0, lowest region on
// ties, only values below 99) or the largest (coarser step, among categories
// below 7, highest region on ties, only values above -99). A move shifts the
// region's value by 2 away from the winning end, so the finer steps take the
// values of all their candidates in ascending order, whatever the coarser
// steps do in between, and the coarser steps likewise in descending order.
// Both sequences are therefore listed first, by walking the values with a
// bit mask of the regions holding each value, and the budget then only
// decides how many of each are taken.
//
// A region's values of one kind form a run of equal parity: it enters the
// walk at its first value and leaves at the end of the run. The finer walk
// runs over value v = 0 ... 98 (no finer value is below 0), the coarser one
// over u = 1 - value = 0 ... 99 (no coarser value is above 1).
constexpr int kWalkLength = 100;

struct WalkEntry {
    uint32_t enter;  // regions whose run starts at this value
    uint32_t leave;  // regions whose run has ended before this value
};

// Regions at one value, lowest region first or highest first.
int LowestRegion(uint32_t regions) { return __builtin_ctz(regions); }
int HighestRegion(uint32_t regions) { return 31 - __builtin_clz(regions); }

// One kind of step, listed: the region each step moves and the change of
// the expected bits it makes. The walk lists all regions of a value at
// once, so the list has room for a whole value past the 31st step.
struct StepList {
    int32_t region[kSteps + 32];
    int32_t bits[kSteps + 32];
};

// Adds a run of values [first, end) of region r to a walk; the walk is
// clear up to `top`, which is at least min(end, kWalkLength - 1).
void AddRun(WalkEntry* walk, int r, int32_t first, int32_t end) {
    if (first >= kWalkLength) return;
    walk[first].enter |= 1u << r;
    if (end < kWalkLength) walk[end].leave |= 1u << r;
}

// Lists the 31 steps of one kind in the order they are taken. x: offset - p
// per region; region0_category: region 0's initial category.
void ListSteps(const WalkEntry* walk, int top, bool finer, const int32_t* x, int32_t region0_category,
               StepList* list) {
    const int limit = finer ? 99 : 100;
    // The change of the expected bits when a region of category c moves.
    int32_t step_bits[kCategories];
    for (int c = 0; c < kCategories; ++c) step_bits[c] = ExpectedBitsOf(finer ? c - 1 : c + 1) - ExpectedBits[c];
    uint32_t active[2] = {0, 0};  // regions holding the even and the odd values
    int n = 0;
    for (int v = 0; v < limit; ++v) {
        uint32_t& regions = active[v & 1];
        if (v <= top) regions = (regions | walk[v].enter) & ~walk[v].leave;
        for (uint32_t left = regions; left != 0; ++n) {
            const int r = finer ? LowestRegion(left) : HighestRegion(left);
            left &= ~(1u << r);
            list->region[n] = r;
            // The category the region holds when its value is v.
            list->bits[n] = step_bits[finer ? (x[r] - v) >> 1 : (x[r] - 1 + v) >> 1];
        }
        if (n >= kSteps || (v >= top && (active[0] | active[1]) == 0)) break;
    }
    // When no region qualifies, region 0 takes the step.
    int32_t category = region0_category;
    for (int k = 0; k < n; ++k) category += list->region[k] == 0 ? (finer ? -1 : 1) : 0;
    for (; n < kSteps; ++n) {
        const int32_t next = finer ? category - 1 : category + 1;
        list->region[n] = 0;
        list->bits[n] = ExpectedBitsOf(next) - ExpectedBitsOf(category);
        category = next;
    }
}

}  // namespace

void Categorize(int regions, int available_bits, const int32_t* power_indices, int32_t* categories,
                int32_t* balance_list) {
    // Only five eighths of the base bits above 640 count.
    if (regions == kBaseRegions && available_bits >= 641) available_bits = ((5 * available_bits - 3200) >> 3) + 640;

    const int32_t offset = FindOffset(regions, available_bits, power_indices);
    int32_t x[kRegions], category[kRegions];
    int32_t bits = 0;
    int finer_top = 0, coarser_top = 0;
    for (int r = 0; r < regions; ++r) {
        x[r] = offset - power_indices[r];
        category[r] = std::clamp(x[r] >> 1, 0, kCategories - 1);
        bits += ExpectedBits[category[r]];
        // The finer run ends at value x, the coarser one at u = 15 - x.
        if (category[r] > 0) finer_top = std::max(finer_top, x[r]);
        if (category[r] < kCategories - 1) coarser_top = std::max(coarser_top, 15 - x[r]);
    }
    finer_top = std::min(finer_top, kWalkLength - 1);
    coarser_top = std::min(coarser_top, kWalkLength - 1);
    WalkEntry finer_walk[kWalkLength], coarser_walk[kWalkLength];
    std::memset(finer_walk, 0, sizeof(WalkEntry) * (finer_top + 1));
    std::memset(coarser_walk, 0, sizeof(WalkEntry) * (coarser_top + 1));
    for (int r = 0; r < regions; ++r) {
        const int32_t c = category[r];
        if (c > 0) AddRun(finer_walk, r, x[r] - 2 * c, x[r]);
        if (c < kCategories - 1) AddRun(coarser_walk, r, 1 - x[r] + 2 * c, 15 - x[r]);
    }
    StepList finer, coarser;
    ListSteps(finer_walk, finer_top, true, x, category[0], &finer);
    ListSteps(coarser_walk, coarser_top, false, x, category[0], &coarser);

    // The high-rate set takes finer steps while both sets together stay
    // within twice the budget, the low-rate set coarser steps otherwise.
    int32_t high_bits = bits, low_bits = bits;
    int finer_steps = 0;
    for (int step = 0; step < kSteps; ++step) {
        const bool take_finer = high_bits + low_bits <= 2 * available_bits;  // no branch to mispredict
        high_bits += take_finer ? finer.bits[finer_steps] : 0;
        low_bits += take_finer ? 0 : coarser.bits[step - finer_steps];
        finer_steps += take_finer;
    }
    for (int k = 0; k < finer_steps; ++k) --category[finer.region[k]];
    for (int r = 0; r < regions; ++r) categories[r] = std::clamp(category[r], 0, kCategories - 1);
    // Raising the list's regions in order first undoes the finer steps,
    // latest first, then takes the coarser steps in order.
    std::reverse_copy(finer.region, finer.region + finer_steps, balance_list);
    std::copy(coarser.region, coarser.region + kSteps - finer_steps, balance_list + finer_steps);
}

// The sort is a selection sort: step i takes, among positions i ... n - 1,
// the largest power, the highest position among equal ones, and swaps it
// with position i. Rather than scanning for it, each position sits in a
// bucket by how far its power lies below the largest remaining one, with a
// bit mask of positions per bucket: a step takes the highest position of
// the first occupied bucket, and the swap moves position i's entry into the
// place it took. The last bucket holds everything further down; once only
// that one is left, the remaining positions are bucketed again.
constexpr int kSortBuckets = 64;

void SortRegionsByPower(const int32_t* power_indices, int regions, int32_t* region_numbers) {
    int32_t power[kRegions];
    std::copy(power_indices, power_indices + regions, power);
    for (int i = 0; i < regions - 1;) {
        const int32_t top = *std::max_element(power + i, power + regions);
        uint64_t positions[kSortBuckets] = {};
        uint64_t occupied = 0;  // bit d: bucket d holds a position
        uint8_t bucket[kRegions];
        for (int j = i; j < regions; ++j) {
            // Unsigned, so that no difference of two indices overflows.
            const uint32_t below = static_cast<uint32_t>(top) - static_cast<uint32_t>(power[j]);
            bucket[j] = static_cast<uint8_t>(std::min<uint32_t>(below, kSortBuckets - 1));
            positions[bucket[j]] |= uint64_t{1} << j;
            occupied |= uint64_t{1} << bucket[j];
        }
        // The first occupied bucket's positions are held apart: they are
        // taken before any other bucket is read again, so its stored mask is
        // left stale.
        int d = __builtin_ctzll(occupied);
        uint64_t first = positions[d];
        for (; i < regions - 1 && d < kSortBuckets - 1; ++i) {
            const int best = 63 - __builtin_clzll(first);
            const uint64_t front = uint64_t{1} << i, taken = uint64_t{1} << best;
            // Position i's entry moves to `best` (when best is i, it is the
            // one taken), so `best` leaves the first bucket unless the moved
            // entry belongs to it, and then position i leaves instead.
            const int moved = bucket[i];
            positions[moved] = (positions[moved] & ~front) | taken;
            first &= ~(moved == d ? front : taken);
            bucket[best] = static_cast<uint8_t>(moved);
            std::swap(power[i], power[best]);
            std::swap(region_numbers[i], region_numbers[best]);
            if (first == 0) {
                occupied &= ~(uint64_t{1} << d);
                d = __builtin_ctzll(occupied);
                first = positions[d];
            }
        }
    }
}
