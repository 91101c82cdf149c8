// Categorisation of a layer and the sending order of its regions, against
// their step-by-step definitions.
#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "core/categorize.h"
#include "reference_models.h"

namespace {

void ExpectSortedAsTheSelectionSort(std::vector<int32_t> power, const char* what) {
    std::vector<int32_t> regions(power.size());
    std::iota(regions.begin(), regions.end(), 100);
    const std::vector<int32_t> want = SelectionSorted(power, regions), before = power;
    SortRegionsByPower(power.data(), static_cast<int>(power.size()), regions.data());
    ASSERT_EQ(regions, want) << what;
    ASSERT_EQ(power, before) << what;
}

TEST(SortRegionsByPower, MatchesThePlainSelectionSort) {
    // Every list of up to 8 powers drawn from three values, so every way a
    // value's regions can lie among the others occurs; the same lists behind
    // a full base layer of one louder value.
    for (int n = 1; n <= 8; ++n) {
        int lists = 1;
        for (int k = 0; k < n; ++k) lists *= 3;
        for (int code = 0; code < lists; ++code) {
            std::vector<int32_t> power(n);
            for (int k = 0, rest = code; k < n; ++k, rest /= 3) power[k] = rest % 3 - 1;
            for (int lead : {0, kBaseRegions - n}) {
                std::vector<int32_t> layer(lead, 4);
                layer.insert(layer.end(), power.begin(), power.end());
                ExpectSortedAsTheSelectionSort(layer, "short list");
            }
        }
    }
    // Random lists of every length up to 44 with many ties: narrow spreads,
    // spreads wider than one pass of the sort's keys, and one value in eight
    // far out (a step of 64 or an extreme of int32_t).
    std::mt19937 rng(5);
    const int32_t far[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -84, -150, 64, 127};
    for (int trial = 0; trial < 6000; ++trial) {
        const int spread = trial % 3 == 0 ? 4 : (trial % 3 == 1 ? 40 : 300);
        std::vector<int32_t> power(1 + trial % kRegions);
        for (int32_t& p : power) {
            const uint32_t u = rng();
            p = u % 8 != 0 ? static_cast<int32_t>(u / 8 % spread) - 20 : far[u / 8 % 6];
        }
        ExpectSortedAsTheSelectionSort(power, "random list");
    }
}

// Random layers of both sizes, budgets from -100 to 1300 bits: power
// indices in the encoder's range with ties, clusters anywhere from far below
// to far above it (the offset search at its ends), and single regions far
// from the rest, so that offset - p reaches past every end of the balancing
// steps' values (98 and 99 finer, -98 and -99 coarser) and of the offset
// search's thresholds.
struct Layer {
    std::vector<int32_t> power;
    int regions;
    int bits;
};

struct RandomLayers {
    std::mt19937 rng;
    int Uniform(int lowest, int highest) { return lowest + static_cast<int>(rng() % static_cast<uint32_t>(highest - lowest + 1)); }
    Layer Next(int trial) {
        const int regions = trial % 2 ? kBaseRegions : kExtRegions;
        std::vector<int32_t> power(regions);
        const int centre = Uniform(-150, 170), spread = Uniform(0, 24);
        for (int32_t& p : power) {
            switch (trial % 3) {
                case 0: p = Uniform(-15, 24); break;
                case 1: p = centre + Uniform(-spread, spread); break;
                default: p = Uniform(0, 7) != 0 ? centre + Uniform(0, spread / 4) : Uniform(-200, 200); break;
            }
        }
        return {power, regions, Uniform(-100, 1300)};
    }
};

TEST(Categorize, MatchesThePlainStepByStepDefinition) {
    RandomLayers layers{std::mt19937(29)};
    for (int trial = 0; trial < 30000; ++trial) {
        const auto [power, regions, bits] = layers.Next(trial);
        // A sentinel after the 31 balance entries catches overruns.
        std::vector<int32_t> got(regions), want(regions), got_balance(kControlValues, -5), want_balance(kControlValues - 1);
        Categorize(regions, bits, power.data(), got.data(), got_balance.data());
        PlainCategorize(regions, bits, power.data(), want.data(), want_balance.data());
        ASSERT_EQ(got_balance.back(), -5) << "balance list longer than 31 entries";
        got_balance.pop_back();
        ASSERT_EQ(got, want) << "trial " << trial << " budget " << bits;
        ASSERT_EQ(got_balance, want_balance) << "trial " << trial << " budget " << bits;
    }
}

TEST(Categorize, ForAControlValueRaisesTheFirstBalanceEntries) {
    // The same layers at every control value; where the finer walk runs out
    // region 0 falls below 0 and is held there before being raised again.
    RandomLayers layers{std::mt19937(31)};
    for (int trial = 0; trial < 6000; ++trial) {
        const auto [power, regions, bits] = layers.Next(trial);
        std::vector<int32_t> categories(regions), balance(kControlValues - 1);
        Categorize(regions, bits, power.data(), categories.data(), balance.data());
        for (int control = 0; control < kControlValues; ++control) {
            std::vector<int32_t> got(regions), want = categories;
            for (int j = 0; j < control; ++j) ++want[balance[j]];
            CategorizeForControl(regions, bits, power.data(), control, got.data());
            ASSERT_EQ(got, want) << "trial " << trial << " budget " << bits << " control " << control;
        }
    }
}

}  // namespace
