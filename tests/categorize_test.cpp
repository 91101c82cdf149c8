// Categorisation of a layer and the sending order of its regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "core/categorize.h"
#include "core/core_tables.h"

namespace {

struct Result {
    std::vector<int32_t> categories;
    std::vector<int32_t> balance;
};

// Runs Categorize; a sentinel after the 31 balance entries catches overruns.
Result Categorized(int regions, int bits, const std::vector<int32_t>& power) {
    Result r{std::vector<int32_t>(regions, -5), std::vector<int32_t>(kControlValues, -5)};
    Categorize(regions, bits, power.data(), r.categories.data(), r.balance.data());
    EXPECT_EQ(r.balance.back(), -5) << "balance list longer than 31 entries";
    r.balance.pop_back();
    return r;
}

bool operator==(const Result& a, const Result& b) { return a.categories == b.categories && a.balance == b.balance; }

// Expected bits of the categories after applying control value c (categories
// of 7 and more spend nothing).
int ExpectedAt(const Result& r, int c) {
    std::vector<int32_t> cat = r.categories;
    for (int j = 0; j < c; ++j) ++cat[r.balance[j]];
    int bits = 0;
    for (int32_t k : cat) bits += ExpectedBits[std::min(k, 7)];
    return bits;
}

// Envelope shaped like speech or music: a falling tilt with formant-like
// bumps, held to the encoder's range -15 ... 24.
std::vector<int32_t> Envelope(int regions, double top, double tilt, double wobble, double phase) {
    std::vector<int32_t> p(regions);
    for (int r = 0; r < regions; ++r) {
        const double v = top - tilt * r + wobble * std::sin(0.7 * r + phase);
        p[r] = std::clamp(static_cast<int32_t>(std::lround(v)), -15, 24);
    }
    return p;
}

// The selection sort written out, swaps and all: the order `regions` take.
std::vector<int32_t> SelectionSorted(std::vector<int32_t> power, std::vector<int32_t> regions) {
    for (size_t i = 0; i + 1 < power.size(); ++i) {
        size_t best = i;
        for (size_t j = i + 1; j < power.size(); ++j)
            if (power[best] <= power[j]) best = j;
        std::swap(power[i], power[best]);
        std::swap(regions[i], regions[best]);
    }
    return regions;
}

TEST(SortRegionsByPower, TiesFollowTheSelectionSort) {
    struct Case {
        std::vector<int32_t> power, order;
    } cases[] = {{{5, 5, 5}, {2, 0, 1}}, {{5, 5, 5, 5}, {3, 0, 1, 2}}, {{1, 3, 3, 2}, {2, 1, 3, 0}}};
    for (const Case& c : cases) {
        std::vector<int32_t> regions(c.power.size());
        std::iota(regions.begin(), regions.end(), 0);
        const std::vector<int32_t> before = c.power;
        SortRegionsByPower(c.power.data(), static_cast<int>(c.power.size()), regions.data());
        EXPECT_EQ(regions, c.order);
        EXPECT_EQ(c.power, before);
    }
}

TEST(SortRegionsByPower, ExtensionLayerOrderIsAPermutationByPower) {
    // Region numbers 28 ... 43 travel with their powers; distinct powers come
    // out strictly decreasing, equal ones in some order of the same region set.
    for (double phase : {0.0, 1.0, 2.5}) {
        const std::vector<int32_t> power = Envelope(kExtRegions, 8, 0.8, 6, phase);
        std::vector<int32_t> regions(kExtRegions);
        std::iota(regions.begin(), regions.end(), 28);
        SortRegionsByPower(power.data(), kExtRegions, regions.data());
        std::vector<int32_t> sorted = regions;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < kExtRegions; ++i) EXPECT_EQ(sorted[i], 28 + i);
        for (int i = 1; i < kExtRegions; ++i)
            EXPECT_GE(power[regions[i - 1] - 28], power[regions[i] - 28]) << "phase " << phase << " pos " << i;
    }
    const std::vector<int32_t> distinct = {3, -1, 7, 0, 12, 5, -4, 9};
    std::vector<int32_t> regions = {0, 1, 2, 3, 4, 5, 6, 7};
    SortRegionsByPower(distinct.data(), 8, regions.data());
    EXPECT_EQ(regions, (std::vector<int32_t>{4, 7, 2, 5, 0, 3, 1, 6}));
}

TEST(SortRegionsByPower, MatchesThePlainSelectionSort) {
    // Lists of every length up to 44 with many ties: narrow spreads, spreads
    // wider than one pass of the sort's keys, and the extremes of int32_t.
    std::mt19937 rng(5);
    const int32_t lowest = std::numeric_limits<int32_t>::min(), highest = std::numeric_limits<int32_t>::max();
    for (int trial = 0; trial < 6000; ++trial) {
        const int n = 1 + trial % kRegions;
        const int spread = trial % 3 == 0 ? 4 : (trial % 3 == 1 ? 40 : 300);
        std::vector<int32_t> power(n);
        for (int32_t& p : power) {
            const uint32_t u = rng();
            // One value in eight is far out (a step of 64 or an extreme), so
            // the sort must start over below its buckets, some more than once.
            p = u % 8 != 0 ? static_cast<int32_t>(u / 8 % spread) - 20
                           : std::vector<int32_t>{lowest, highest, -84, -150, 64, 127}[u / 8 % 6];
        }
        std::vector<int32_t> regions(n);
        std::iota(regions.begin(), regions.end(), 100);
        const std::vector<int32_t> want = SelectionSorted(power, regions);
        const std::vector<int32_t> before = power;
        SortRegionsByPower(power.data(), n, regions.data());
        ASSERT_EQ(regions, want) << "trial " << trial;
        ASSERT_EQ(power, before);
    }
}

TEST(SortRegionsByPower, MatchesThePlainSelectionSortOnEveryShortList) {
    // Every list of up to 8 powers drawn from three values, so every way a
    // value's regions can lie among the others (some in front of the first
    // lower one, some behind it, none) occurs; and the same lists at the end
    // of a full base layer, behind regions of one louder value.
    for (int n = 1; n <= 8; ++n) {
        int lists = 1;
        for (int k = 0; k < n; ++k) lists *= 3;
        for (int code = 0; code < lists; ++code) {
            std::vector<int32_t> power(n);
            for (int k = 0, rest = code; k < n; ++k, rest /= 3) power[k] = rest % 3 - 1;
            for (int lead : {0, kBaseRegions - n}) {
                std::vector<int32_t> layer(lead, 4);
                layer.insert(layer.end(), power.begin(), power.end());
                std::vector<int32_t> regions(layer.size());
                std::iota(regions.begin(), regions.end(), 0);
                const std::vector<int32_t> want = SelectionSorted(layer, regions);
                SortRegionsByPower(layer.data(), static_cast<int>(layer.size()), regions.data());
                ASSERT_EQ(regions, want) << "list " << code << " of " << n << ", behind " << lead;
            }
        }
    }
}

TEST(Categorize, BaseBudgetCountsFiveEighthsAbove640) {
    // Twelve silent regions (category 7, never moved) pad a 16-region
    // envelope to a base layer, so the base run can be compared with an
    // extension run, whose budget is taken as it is.
    const std::vector<int32_t> loud = Envelope(kExtRegions, 10, 0.4, 3, 0.3);
    std::vector<int32_t> padded = loud;
    padded.resize(kBaseRegions, -15);
    const auto base_part = [&](int bits) {
        Result r = Categorized(kBaseRegions, bits, padded);
        for (int i = kExtRegions; i < kBaseRegions; ++i) EXPECT_EQ(r.categories[i], 7) << bits;
        r.categories.resize(kExtRegions);
        return r;
    };
    EXPECT_TRUE(base_part(700) == Categorized(kExtRegions, 677, loud));
    EXPECT_TRUE(base_part(641) == Categorized(kExtRegions, 640, loud));
    EXPECT_TRUE(base_part(640) == Categorized(kExtRegions, 640, loud));
    EXPECT_FALSE(base_part(700) == Categorized(kExtRegions, 700, loud));
    // Extension budgets of 700 and 677 differ: with a flat envelope (offset 5,
    // all categories 2, 688 expected bits) 700 bits start with a finer step
    // and 677 with a coarser one.
    const std::vector<int32_t> flat(kExtRegions, 0);
    const Result r700 = Categorized(kExtRegions, 700, flat), r677 = Categorized(kExtRegions, 677, flat);
    EXPECT_FALSE(r700 == r677);
    EXPECT_LT(ExpectedAt(r677, 0), ExpectedAt(r700, 0));
}

TEST(Categorize, TiesPickLowestRegionWhenFinerAndHighestWhenCoarser) {
    // Flat envelope, 700 bits: all start at category 2. The first seven steps
    // are finer ones on regions 0, 1, ... 6, the eighth a coarser one on the
    // highest region, then a finer one on region 7 and a coarser one on 14.
    const Result r = Categorized(kExtRegions, 700, std::vector<int32_t>(kExtRegions, 0));
    int finer_steps = 0;
    for (int32_t k : r.categories) finer_steps += 2 - k;
    ASSERT_GE(finer_steps, 8);
    // The list runs from the last finer step back to the first, then the coarser steps in order.
    const int first_finer = finer_steps - 1;
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.balance[first_finer - k], k) << k;
    EXPECT_EQ(r.balance[finer_steps], 15);
    EXPECT_EQ(r.balance[finer_steps + 1], 14);
}

TEST(Categorize, BudgetAtOrBelowZeroUsesLargestOffset) {
    const std::vector<int32_t> power = {24, 23, 20, 17, 14, 11, 9, 5, 2, 0, -3, -8, -12, -15, -15, -15};
    for (int bits : {0, -1, -300}) {
        const Result r = Categorized(kExtRegions, bits, power);
        for (int i = 0; i < kExtRegions; ++i)
            EXPECT_EQ(r.categories[i], std::clamp((31 - power[i]) >> 1, 0, 7)) << bits << " " << i;
        ASSERT_EQ(r.balance.size(), 31u);
        for (int32_t region : r.balance) EXPECT_TRUE(region >= 0 && region < kExtRegions);
    }
}

TEST(Categorize, NoQualifyingRegionMovesRegionZeroOnly) {
    // A flat extension with 843 bits (more than 16 x 52): every category is 0
    // and each finer step falls to the layer's first region, whose working
    // category goes below 0 but comes out as 0.
    Result r = Categorized(kExtRegions, 843, std::vector<int32_t>(kExtRegions, 0));
    EXPECT_EQ(r.categories, std::vector<int32_t>(kExtRegions, 0));
    EXPECT_EQ(r.balance, std::vector<int32_t>(31, 0));
    // The same with every category at 7 and a negative budget: coarser steps.
    r = Categorized(kExtRegions, -10, std::vector<int32_t>(kExtRegions, -15));
    EXPECT_EQ(r.categories, std::vector<int32_t>(kExtRegions, 7));
    EXPECT_EQ(r.balance, std::vector<int32_t>(31, 0));
    // Base layer: region 0 as well.
    r = Categorized(kBaseRegions, 2000, std::vector<int32_t>(kBaseRegions, 10));
    EXPECT_EQ(r.categories, std::vector<int32_t>(kBaseRegions, 0));
    EXPECT_EQ(r.balance, std::vector<int32_t>(31, 0));
}

TEST(Categorize, ScanStartValuesAreLiteral) {
    // Power indices far outside the encoder's range (a damaged frame at the
    // decoder): a region only qualifies if it beats 99 (finer) or -99
    // (coarser), otherwise region 0 is taken even if region 1 scores better.
    std::vector<int32_t> quiet(kExtRegions, -95);  // 31 + 95 - 14 = 112 >= 99
    quiet[1] = -90;                                // 107, best but still >= 99
    EXPECT_EQ(Categorized(kExtRegions, 0, quiet).balance[0], 0);
    quiet[1] = -80;  // 97: qualifies
    EXPECT_EQ(Categorized(kExtRegions, 0, quiet).balance[0], 1);

    std::vector<int32_t> loud(kExtRegions, 160);  // 31 - 160 = -129 <= -99
    loud[1] = 150;                                // -119, best but still <= -99
    EXPECT_EQ(Categorized(kExtRegions, 100, loud).balance[0], 0);
    loud[1] = 120;  // -89: qualifies
    EXPECT_EQ(Categorized(kExtRegions, 100, loud).balance[0], 1);
}

TEST(Categorize, LastQualifyingValuesAre98AndMinus98) {
    // Quiet regions at category 7 with a budget of 0: offset 31, nothing
    // spent, so the first step is a finer one; region 3's value is
    // 31 - p - 14. The others (p = -95, value 112) never qualify. After that
    // step the layer is over its budget and every later step is a coarser
    // one that finds nothing.
    std::vector<int32_t> quiet(kExtRegions, -95);
    quiet[3] = -81;  // value 98
    Result r = Categorized(kExtRegions, 0, quiet);
    EXPECT_EQ(r.balance[0], 3);
    EXPECT_EQ(r.categories[3], 6);
    EXPECT_EQ(r.categories[0], 7);
    quiet[3] = -82;  // value 99: region 0 takes the step instead
    r = Categorized(kExtRegions, 0, quiet);
    EXPECT_EQ(r.balance[0], 0);
    EXPECT_EQ(r.categories[3], 7);
    EXPECT_EQ(r.categories[0], 6);

    // Loud regions at category 0 with 100 bits: offset 31, far over the
    // budget, so the first step is a coarser one; region 5's value is 31 - p.
    std::vector<int32_t> loud(kExtRegions, 160);
    loud[5] = 129;  // value -98
    EXPECT_EQ(Categorized(kExtRegions, 100, loud).balance[0], 5);
    loud[5] = 130;  // value -99
    EXPECT_EQ(Categorized(kExtRegions, 100, loud).balance[0], 0);
}

// The categorisation step by step, as its definition reads: the offset
// search over sums of expected bits, then 31 balancing steps, each scanning
// every region of the high-rate or the low-rate set.
Result PlainCategorize(int regions, int bits, const std::vector<int32_t>& power) {
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
                if (high[r] > 0 && offset - power[r] - 2 * high[r] < smallest) smallest = offset - power[r] - 2 * high[r], best = r;
            work[--high_at] = best;
            high_sum += expected(high[best] - 1) - expected(high[best]);
            --high[best];
        } else {
            for (int r = regions - 1, largest = -99; r >= 0; --r)
                if (low[r] < 7 && offset - power[r] - 2 * low[r] > largest) largest = offset - power[r] - 2 * low[r], best = r;
            work[low_at++] = best;
            low_sum += expected(low[best] + 1) - expected(low[best]);
            ++low[best];
        }
    }
    Result r{high, std::vector<int32_t>(work.begin() + high_at, work.begin() + high_at + kControlValues - 1)};
    for (int32_t& c : r.categories) c = std::clamp(c, 0, 7);
    return r;
}

TEST(Categorize, MatchesThePlainStepByStepDefinition) {
    // Random layers of both sizes, budgets from -100 to 1300 bits: power
    // indices in the encoder's range with ties, clusters anywhere from far
    // below to far above it (the offset search at its ends), and single
    // regions far from the rest, so that offset - p reaches past every end
    // of the balancing steps' values (98 and 99 finer, -98 and -99 coarser)
    // and of the offset search's thresholds.
    std::mt19937 rng(29);
    const auto uniform = [&rng](int lowest, int highest) {
        return lowest + static_cast<int>(rng() % static_cast<uint32_t>(highest - lowest + 1));
    };
    for (int trial = 0; trial < 30000; ++trial) {
        const int regions = trial % 2 ? kBaseRegions : kExtRegions;
        std::vector<int32_t> power(regions);
        const int centre = uniform(-150, 170), spread = uniform(0, 24);
        for (int32_t& p : power) {
            switch (trial % 3) {
                case 0: p = uniform(-15, 24); break;
                case 1: p = centre + uniform(-spread, spread); break;
                default: p = uniform(0, 7) != 0 ? centre + uniform(0, spread / 4) : uniform(-200, 200); break;
            }
        }
        const int bits = uniform(-100, 1300);
        const Result got = Categorized(regions, bits, power), want = PlainCategorize(regions, bits, power);
        ASSERT_EQ(got.categories, want.categories) << "trial " << trial << " budget " << bits;
        ASSERT_EQ(got.balance, want.balance) << "trial " << trial << " budget " << bits;
    }
}

TEST(Categorize, ControlValuesSpanTheBudget) {
    // On realistic envelopes and budgets the 32 control values give a falling
    // sequence of expected bits from at least the budget down to at most it.
    for (double phase : {0.0, 0.9, 2.1, 4.0}) {
        for (int bits : {250, 400, 560, 700, 900}) {
            const std::vector<int32_t> base = Envelope(kBaseRegions, 14, 0.6, 4, phase);
            const int adjusted = bits >= 641 ? ((5 * bits - 3200) >> 3) + 640 : bits;
            const Result r = Categorized(kBaseRegions, bits, base);
            for (int32_t k : r.categories) EXPECT_TRUE(k >= 0 && k <= 7);
            for (int32_t region : r.balance) EXPECT_TRUE(region >= 0 && region < kBaseRegions);
            EXPECT_GE(ExpectedAt(r, 0), adjusted) << phase << " " << bits;
            EXPECT_LE(ExpectedAt(r, 31), adjusted) << phase << " " << bits;
            for (int c = 1; c < 32; ++c) EXPECT_LE(ExpectedAt(r, c), ExpectedAt(r, c - 1)) << c;
        }
    }
}

}  // namespace
