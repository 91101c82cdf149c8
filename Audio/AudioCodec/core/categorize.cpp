// Categorisation of a layer's regions and their sending order. Encoder and
// decoder both run these on the decoded power indices, so every step here is
// part of the frame format.
#include "core/categorize.h"

#include <algorithm>
#include <cstring>

#include "core/clear_bytes.h"
#include "core/core_tables.h"
#include "simd/instruction_set.h"
#include "simd/lanes.h"

#if defined(DREMKO_SSE2)
#include <emmintrin.h>
#endif

namespace {

constexpr int kSteps = kControlValues - 1;

// Working categories may leave 0 ... 7 when a balancing step finds no region
// to move; the expected bits of such a category are those of the nearest end.
int32_t ExpectedBitsOf(int32_t category) { return ExpectedBits[std::clamp(category, 0, kCategories - 1)]; }

// A layer's regions side by side, a byte lane each.
using Lanes = int8_t __attribute__((vector_size(16)));
constexpr int kLaneVectors = 2;  // up to 32 regions
constexpr int kLanes = 16 * kLaneVectors;

// The regions whose lanes are set (all ones), as bits.
uint32_t RegionsSet(const Lanes* set) {
    uint32_t regions = 0;
    for (int i = 0; i < kLaneVectors; ++i) {
#if defined(DREMKO_SSE2)
        const uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(reinterpret_cast<__m128i>(set[i])));
#else
        uint32_t bits = 0;
        for (int k = 0; k < 16; ++k) bits |= static_cast<uint32_t>(set[i][k] & 1) << k;
#endif
        regions |= bits << (16 * i);
    }
    return regions;
}

// Layers are read four regions at a time, in 32-bit lanes.
static_assert(kBaseRegions % 4 == 0 && kExtRegions % 4 == 0, "a layer is whole groups of four regions");

// Each lane held to lowest ... highest.
Int4 Held(Int4 v, int32_t lowest, int32_t highest) {
    v = v < lowest ? Int4{} + lowest : v;
    return v > highest ? Int4{} + highest : v;
}

// Four lanes, each within a byte, stored as bytes.
void StoreBytes(int8_t* p, Int4 v) {
#if defined(DREMKO_SSE2)
    // Packing saturates, which no lane within a byte reaches; the
    // conversion below takes each lane apart on its own.
    const __m128i words = _mm_packs_epi32(reinterpret_cast<__m128i>(v), reinterpret_cast<__m128i>(v));
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packs_epi16(words, words));
#else
    using Bytes4 = int8_t __attribute__((vector_size(4)));
    const Bytes4 bytes = __builtin_convertvector(v, Bytes4);
#endif
    std::memcpy(p, &bytes, sizeof bytes);
}

// The offset whose categories spend just over the budget less 32 bits, and
// the expected bits of its categories.
struct Offset {
    int32_t offset, bits;
};

// The offset search counts each region's expected bits at an offset as the
// sum of the category rises it passes: docs/decisions.md, "How the offset
// search counts expected bits", says why that is exact. Rise k is passed by
// the regions whose power is above offset - 2k - 2, so from the number of
// regions at or above each power the layer's bits at every offset -32 ... 31
// are a seven-tap filter, eight offsets to a vector of 16-bit lanes (at most
// 28 x 52 bits), with no search whose steps wait on each other.
using Counts = int16_t __attribute__((vector_size(16)));
constexpr int kRises = kCategories - 1;
constexpr int kLowestCounted = -48;  // powers -48 ... 31 are counted, held to -46 ... 30
constexpr int kCounted = 5 * 16;

Offset FindOffset(int regions, int available_bits, const int32_t* power_indices) {
    // Byte counts: a 16-bit array's clearing would take a slow string store.
    int8_t at[kCounted] = {};  // at[i]: regions of power i - 48
    for (int r = 0; r < regions; ++r) ++at[std::min(std::max(power_indices[r], -46), 30) - kLowestCounted];
    // from[i]: regions of power at least i - 48, the sums of `at` from i up,
    // sixteen lanes at a time from the top down.
    int16_t from[kCounted];
    Lanes above = {};
    for (int v = kCounted / 16 - 1; v >= 0; --v) {
        const Lanes none = {};
        Lanes sums;
        std::memcpy(&sums, at + 16 * v, sizeof sums);
        sums += __builtin_shufflevector(sums, none, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
        sums += __builtin_shufflevector(sums, none, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17);
        sums += __builtin_shufflevector(sums, none, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19);
        sums += __builtin_shufflevector(sums, none, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23);
        sums += above;
        above = __builtin_shufflevector(sums, sums, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        const Counts low = __builtin_convertvector(__builtin_shufflevector(sums, sums, 0, 1, 2, 3, 4, 5, 6, 7), Counts);
        const Counts high =
            __builtin_convertvector(__builtin_shufflevector(sums, sums, 8, 9, 10, 11, 12, 13, 14, 15), Counts);
        std::memcpy(from + 16 * v, &low, sizeof low);
        std::memcpy(from + 16 * v + 8, &high, sizeof high);
    }
    // bits[o + 32]: the expected bits at offset o. The regions above
    // o - 2k - 2 are from[o + 47 - 2k].
    int16_t bits[64];
    const int16_t need = static_cast<int16_t>(std::clamp(available_bits - 32, 0, INT16_MAX));
    Counts reached = {};  // -1 for each offset whose bits reach the need
    for (int j = 0; j < 8; ++j) {
        Counts sum = {};
        for (int k = 0; k < kRises; ++k) {
            Counts regions_above;
            std::memcpy(&regions_above, from + 15 + 8 * j - 2 * k, sizeof regions_above);
            sum += regions_above * static_cast<int16_t>(ExpectedBits[k] - ExpectedBits[k + 1]);
        }
        std::memcpy(bits + 8 * j, &sum, sizeof sum);
        reached += sum >= need;
    }
    // The bits fall as the offset rises, so the offsets that reach the need
    // are the lowest ones: the highest of them is taken, or -32 if none.
    int32_t count = 0;
    for (int l = 0; l < 8; ++l) count -= reached[l];
    const int32_t offset = std::max(count - 1, 0) - 32;
    return {offset, bits[offset + 32]};
}

// The finer steps take their candidates' values in ascending order and the
// coarser ones in descending order, whatever the other kind does, so both
// sequences are listed first, by walking the values (a byte lane per
// region), and the budget then only decides how many of each are taken:
// docs/decisions.md, "How the balancing steps are found", derives the walks.
// Every region's x = offset - p is held to -99 ... 113, beyond which no value
// of either walk is reached, so that the walks' sums stay within a byte; a
// lane beyond the layer holds -128, which no walk reaches either.
constexpr int32_t kLowestLane = -99, kHighestLane = 113;

// The regions whose lane + shift, in a byte, is one of 2, 4, ... 14: that is
// the even bytes up to 14 (no bit set but 1, 2 and 3) other than 0.
uint32_t RegionsAt(const Lanes* lanes, int32_t shift) {
    using Bytes = uint8_t __attribute__((vector_size(16)));  // adding with wraparound
    Lanes hit[kLaneVectors];
    for (int i = 0; i < kLaneVectors; ++i) {
        const Bytes t = reinterpret_cast<Bytes>(lanes[i]) + static_cast<uint8_t>(shift);
        hit[i] = ((t & 0xf1) == 0) & (t != 0);
    }
    return RegionsSet(hit);
}

// The set bits of a byte: their positions, lowest first, in the leading
// bytes of a row of eight (the rest 0), and their count.
struct BitPositions {
    uint8_t position[256][8];
    uint8_t count[256];
};

constexpr BitPositions MakeBitPositions() {
    BitPositions table{};
    for (int byte = 0; byte < 256; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            if (byte >> bit & 1) table.position[byte][table.count[byte]++] = static_cast<uint8_t>(bit);
    return table;
}

constexpr BitPositions kBitPositions = MakeBitPositions();
constexpr uint64_t kEveryByte = 0x0101010101010101u;  // a 1 in every byte

// One kind of step, listed: the region each step moves, and the change of
// the layer's expected bits over the first k steps.
struct StepList {
    int32_t region[kSteps];
    int32_t bits[kSteps + 1];
    int32_t listed;  // steps found by the walk; region 0 takes the rest
};

// Lists the 31 steps of one kind in the order they are taken. lane: x per
// region (finer), or x + 1 per region from the highest down (coarser), so
// that the lowest lane at a value is the one to take first; last: the last
// value any region reaches.
void ListSteps(const int8_t* lane, int32_t last, bool finer, StepList* list) {
    Lanes lanes[kLaneVectors];
    std::memcpy(lanes, lane, sizeof lanes);
    // First the lanes of the steps and their values, in order: each value's
    // lanes eight at a time, a whole row of eight stored and the count kept,
    // so no branch depends on how many lanes a value holds. A value's lanes
    // are listed whole, and a row may be stored past them.
    uint8_t step_lane[kSteps + kLanes + 8], step_value[kSteps + kLanes + 8];
    int n = 0;
    for (int32_t value = 0; value <= last && n < kSteps; ++value) {
        const uint32_t at = RegionsAt(lanes, finer ? -value : value);
        const uint64_t values = kEveryByte * static_cast<uint8_t>(value);
        for (int i = 0; i < kLanes / 8; ++i) {
            const uint32_t byte = at >> (8 * i) & 0xff;
            // Each position plus 8i: no byte carries into the next.
            uint64_t row;
            std::memcpy(&row, kBitPositions.position[byte], 8);
            row += kEveryByte * static_cast<uint8_t>(8 * i);
            std::memcpy(step_lane + n, &row, 8);
            std::memcpy(step_value + n, &values, 8);
            n += kBitPositions.count[byte];
        }
    }
    // rise[j]: the change of the expected bits as a step at lane + shift = 2j
    // moves its region from category j to j - 1 (finer) or j - 1 to j.
    int32_t rise[kCategories];
    for (int j = 1; j < kCategories; ++j) rise[j] = (ExpectedBits[j - 1] - ExpectedBits[j]) * (finer ? 1 : -1);
    int32_t bits = 0;
    list->bits[0] = 0;
    const int listed = std::min(n, kSteps);
    list->listed = listed;
    for (int k = 0; k < listed; ++k) {
        const int at = step_lane[k];
        list->region[k] = finer ? at : kLanes - 1 - at;
        bits += rise[(lane[at] + (finer ? -step_value[k] : step_value[k])) >> 1];
        list->bits[k + 1] = bits;
    }
    if (n >= kSteps) return;
    // The walk ran out: region 0 takes every remaining step, from the
    // category its listed ones left it in.
    const int32_t region0_x = finer ? lane[0] : lane[kLanes - 1] - 1;
    int32_t category = std::clamp(region0_x >> 1, 0, kCategories - 1);
    for (int k = 0; k < n; ++k) category += list->region[k] == 0 ? (finer ? -1 : 1) : 0;
    for (; n < kSteps; ++n) {
        const int32_t next = finer ? category - 1 : category + 1;
        list->region[n] = 0;
        bits += ExpectedBitsOf(next) - ExpectedBitsOf(category);
        list->bits[n + 1] = bits;
        category = next;
    }
}

// A layer's categories at its offset and both kinds of step, listed, with
// how many finer steps its budget takes.
struct Balancing {
    StepList finer, coarser;
    int finer_steps;
};

// Writes the categories at the offset and lists the steps.
void Balance(int regions, int available_bits, const int32_t* power_indices, int32_t* categories, Balancing* b) {
    // Only five eighths of the base bits above 640 count.
    if (regions == kBaseRegions && available_bits >= 641) available_bits = ((5 * available_bits - 3200) >> 3) + 640;

    const auto [offset, bits] = FindOffset(regions, available_bits, power_indices);
    int8_t finer_lane[kLanes], coarser_lane[kLanes];
    std::fill(finer_lane, finer_lane + kLanes, INT8_MIN);
    std::fill(coarser_lane, coarser_lane + kLanes, INT8_MIN);
    Int4 highest = Int4{} + kLowestLane, lowest = Int4{} + kHighestLane;
    for (int r = 0; r < regions; r += 4) {
        const Int4 x = offset - LoadInt4(power_indices + r);
        const Int4 category = Held(x >> 1, 0, kCategories - 1);
        std::memcpy(categories + r, &category, sizeof category);
        const Int4 held = Held(x, kLowestLane, kHighestLane);
        StoreBytes(finer_lane + r, held);
        StoreBytes(coarser_lane + kLanes - 4 - r, __builtin_shufflevector(held, held, 3, 2, 1, 0) + 1);
        highest = held > highest ? held : highest;
        lowest = held < lowest ? held : lowest;
    }
    // A finer value v needs x >= v + 2, a coarser one u needs x + 1 + u <= 14.
    ListSteps(finer_lane, std::min(98, std::max({highest[0], highest[1], highest[2], highest[3]}) - 2), true, &b->finer);
    ListSteps(coarser_lane, std::min(99, 13 - std::min({lowest[0], lowest[1], lowest[2], lowest[3]})), false,
              &b->coarser);

    // Step by step, the high-rate set would take a finer step while both sets
    // together stay within twice the budget, the low-rate set a coarser one
    // otherwise. Finer steps only add bits and coarser ones only take bits
    // away, so the i-th finer step is among the 31 exactly when it is taken
    // once i - 1 finer and 31 - i coarser steps are: a condition that holds
    // for every i up to the number taken and none above, found by halving.
    int finer_steps = 0;
    for (int half = 16; half > 0; half >>= 1) {
        const int i = finer_steps + half;
        const bool taken = (bits + b->finer.bits[i - 1]) + (bits + b->coarser.bits[kSteps - i]) <= 2 * available_bits;
        finer_steps = taken ? i : finer_steps;
    }
    b->finer_steps = finer_steps;
}

// Takes the first `count` finer steps, from the categories at the offset.
void TakeFinerSteps(const Balancing& b, int count, int32_t* categories) {
    for (int k = 0; k < count; ++k) --categories[b.finer.region[k]];
}

// The categories with every finer step taken. Listed steps only move regions
// above category 0; only region 0, taking the steps left when the walk runs
// out, may have fallen below, and is held at 0.
void TakeAllFinerSteps(const Balancing& b, int32_t* categories) {
    TakeFinerSteps(b, b.finer_steps, categories);
    categories[0] = std::max(categories[0], 0);
}

}  // namespace

void Categorize(int regions, int available_bits, const int32_t* power_indices, int32_t* categories,
                int32_t* balance_list) {
    Balancing b;
    Balance(regions, available_bits, power_indices, categories, &b);
    TakeAllFinerSteps(b, categories);
    // Raising the list's regions in order first undoes the finer steps,
    // latest first, then takes the coarser steps in order.
    std::reverse_copy(b.finer.region, b.finer.region + b.finer_steps, balance_list);
    std::copy(b.coarser.region, b.coarser.region + kSteps - b.finer_steps, balance_list + b.finer_steps);
}

void CategorizeForControl(int regions, int available_bits, const int32_t* power_indices, int control,
                          int32_t* categories) {
    Balancing b;
    Balance(regions, available_bits, power_indices, categories, &b);
    const int undone = std::min(control, b.finer_steps);
    if (b.finer_steps <= b.finer.listed) {
        // No region fell below 0, so undoing the latest finer steps is not
        // taking them at all.
        TakeFinerSteps(b, b.finer_steps - undone, categories);
    } else {
        TakeAllFinerSteps(b, categories);
        for (int k = b.finer_steps - undone; k < b.finer_steps; ++k) ++categories[b.finer.region[k]];
    }
    for (int k = 0; k < control - undone; ++k) ++categories[b.coarser.region[k]];
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
// Position j is bit 63 - j of a mask, so that the highest position is the
// lowest set bit, which is isolated and cleared without a bit scan on the
// chain from step to step.
constexpr uint64_t kPosition0 = uint64_t{1} << 63;

void SortRegionsByPower(const int32_t* power_indices, int regions, int32_t* region_numbers) {
    // Copied four at a time with the largest taken along (a copy alone of a
    // length known only here would be a library call).
    int32_t power[kRegions];
    Int4 largest = Int4{} + INT32_MIN;
    int r = 0;
    for (; r + 4 <= regions; r += 4) {
        const Int4 four = LoadInt4(power_indices + r);
        std::memcpy(power + r, &four, sizeof four);
        largest = four > largest ? four : largest;
    }
    int32_t top = std::max(std::max(largest[0], largest[1]), std::max(largest[2], largest[3]));
    for (; r < regions; ++r) top = std::max(top, power[r] = power_indices[r]);
    for (int i = 0; i < regions - 1;) {
        // A later pass (the first takes at least position 0) finds the
        // largest remaining by a running maximum, with no branch on each
        // comparison.
        if (i > 0) {
            top = power[i];
            for (int j = i + 1; j < regions; ++j) top = std::max(top, power[j]);
        }
        uint64_t positions[kSortBuckets];
        ClearBytes<sizeof positions>(positions);
        uint64_t occupied = 0;  // bit d: bucket d holds a position
        uint8_t bucket[kRegions];
        for (int j = i; j < regions; ++j) {
            // Unsigned, so that no difference of two indices overflows.
            const uint32_t below = static_cast<uint32_t>(top) - static_cast<uint32_t>(power[j]);
            bucket[j] = static_cast<uint8_t>(std::min<uint32_t>(below, kSortBuckets - 1));
            positions[bucket[j]] |= kPosition0 >> j;
            occupied |= uint64_t{1} << bucket[j];
        }
        // The first occupied bucket's positions are held apart: they are
        // taken before any other bucket is read again, so its stored mask is
        // left stale.
        int d = __builtin_ctzll(occupied);
        uint64_t first = positions[d];
        for (; i < regions - 1 && d < kSortBuckets - 1; ++i) {
            const uint64_t front = kPosition0 >> i, taken = first & (0 - first);
            const int best = 63 - __builtin_ctzll(first);
            // Position i's entry moves to `best` (when best is i, it is the
            // one taken), so `best` leaves the first bucket unless the moved
            // entry belongs to it, and then position i leaves instead.
            const int moved = bucket[i];
            positions[moved] = (positions[moved] & ~front) | taken;
            first &= ~(moved == d ? front : taken);
            bucket[best] = static_cast<uint8_t>(moved);
            // Position i is settled and its power never read again: only
            // the entry moved to `best` needs its power there.
            power[best] = power[i];
            std::swap(region_numbers[i], region_numbers[best]);
            if (first == 0) {
                occupied &= ~(uint64_t{1} << d);
                d = __builtin_ctzll(occupied);
                first = positions[d];
            }
        }
    }
}
