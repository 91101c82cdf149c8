// The kernels that work on several values side by side keep the order of
// float operations of their one-at-a-time definitions, so their bits do not
// depend on the build. Fixed exactness vectors (an FNV-1a hash of the output
// bits for fixed pseudo-random inputs, recorded from the one-at-a-time
// implementations built without optimisation, which do what the source says)
// cover the speech detector's transform and decimator and the stereo band
// powers; the categorisation and the region order are
// compared with a direct model of their definitions on random layers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/categorize.h"
#include "core/core_tables.h"
#include "speech/decimator.h"
#include "speech/real_fft256.h"
#include "stereo/stereo_analysis.h"

namespace {

// Portable 32-bit linear congruential sequence.
struct Lcg {
    uint32_t state;
    uint32_t Next() { return state = state * 1664525u + 1013904223u; }
    int16_t NextSample() { return static_cast<int16_t>(Next() >> 16); }
    float NextFloat() { return static_cast<float>(static_cast<int32_t>(Next()) >> 8) / 256.0f; }
};

struct Fnv1a {
    uint64_t hash = 0xcbf29ce484222325u;
    void Add(const void* data, size_t bytes) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 0x100000001b3u;
    }
};

TEST(KernelExactness, SpeechTransform) {
    RealFft256Tables tables;
    RealFft256_BuildTables(&tables);
    Lcg rng{256};
    Fnv1a forward, inverse;
    for (int frame = 0; frame < 8; ++frame) {
        std::vector<float> x(256), s(256);
        for (float& v : x) v = rng.NextFloat();
        for (float& v : s) v = rng.NextFloat();
        RealFft256_Forward(x.data(), &tables);
        RealFft256_Inverse(s.data(), &tables);
        forward.Add(x.data(), x.size() * sizeof(float));
        inverse.Add(s.data(), s.size() * sizeof(float));
    }
    EXPECT_EQ(forward.hash, 0xe4fcf8615df325b7ull);
    EXPECT_EQ(inverse.hash, 0x8c715d29f140e8dcull);
}

// Full-scale noise (some outputs leave the 16-bit range) in calls of 960,
// 640, 7 (no output) and 1000 samples, at both rates.
TEST(KernelExactness, Decimator) {
    Lcg rng{48};
    Fnv1a fnv;
    const struct {
        const float* table;
        int taps, factor;
    } filters[] = {{kDecimatorTaps48k.data(), 96, 6}, {kDecimatorTaps32k.data(), 64, 4}};
    for (const auto& f : filters) {
        DecimatorState state;
        Decimator_Create(&state, f.table, f.taps, f.factor);
        for (int count : {960, 640, 7, 1000, 960, 960}) {
            std::vector<int16_t> in(static_cast<size_t>(count)), out(static_cast<size_t>(count / f.factor) + 1);
            for (int16_t& v : in) v = rng.NextSample();
            Decimator_Process(&state, in.data(), count, out.data());
            fnv.Add(out.data(), static_cast<size_t>(count / f.factor) * sizeof(int16_t));
            fnv.Add(state.history, static_cast<size_t>(f.taps) * sizeof(int16_t));
        }
    }
    EXPECT_EQ(fnv.hash, 0x854081b00cc65a32ull);
}

TEST(KernelExactness, StereoBandPowers) {
    Lcg rng{2};
    StereoAnalysisState state;
    InitStereoAnalysis(&state);
    Fnv1a fnv;
    for (int frame = 0; frame < 6; ++frame) {
        std::vector<int16_t> left(960), right(960);
        for (int16_t& v : left) v = rng.NextSample();
        for (int n = 0; n < 960; ++n) right[n] = static_cast<int16_t>(left[n] / (frame + 2) + rng.NextSample() / 64);
        float powers[2][10];
        StereoBandPowers(left.data(), right.data(), powers[0], powers[1], &state);
        fnv.Add(powers, sizeof powers);
    }
    EXPECT_EQ(fnv.hash, 0x5f8c257bad349b94ull);
}

// The categorisation as its definition reads, one region at a time.
void ModelCategorize(int regions, int a, const int32_t* p, int32_t* categories, int32_t* balance) {
    const auto clamp7 = [](int32_t c) { return c < 0 ? 0 : (c > 7 ? 7 : c); };
    if (regions == 28 && a >= 641) a = ((5 * a - 3200) >> 3) + 640;
    int32_t offset = -32;
    for (int32_t delta = 32; delta > 0; delta >>= 1) {
        int32_t bits = 0;
        for (int r = 0; r < regions; ++r) bits += ExpectedBits[clamp7((offset + delta - p[r]) >> 1)];
        if (bits >= a - 32) offset += delta;
    }
    int32_t h[44], l[44], hr = 0;
    for (int r = 0; r < regions; ++r) hr += ExpectedBits[h[r] = l[r] = clamp7((offset - p[r]) >> 1)];
    int32_t lr = hr, work[64];
    int hp = 32, lp = 32;
    for (int step = 0; step < 31; ++step) {
        if (hr + lr <= 2 * a) {
            int32_t best_value = 99;
            int best = 0;
            for (int r = 0; r < regions; ++r)
                if (h[r] > 0 && offset - p[r] - 2 * h[r] < best_value) best_value = offset - p[r] - 2 * h[r], best = r;
            work[--hp] = best;
            hr += ExpectedBits[clamp7(h[best] - 1)] - ExpectedBits[clamp7(h[best])];
            --h[best];
        } else {
            int32_t best_value = -99;
            int best = 0;
            for (int r = regions - 1; r >= 0; --r)
                if (l[r] < 7 && offset - p[r] - 2 * l[r] > best_value) best_value = offset - p[r] - 2 * l[r], best = r;
            work[lp++] = best;
            lr += ExpectedBits[clamp7(l[best] + 1)] - ExpectedBits[clamp7(l[best])];
            ++l[best];
        }
    }
    for (int r = 0; r < regions; ++r) categories[r] = clamp7(h[r]);
    std::memcpy(balance, work + hp, 31 * sizeof(int32_t));
}

// Power indices as encoders send them, as damaged frames make them (far
// outside the tables) and with many ties; budgets from none to more than all.
TEST(KernelExactness, CategorisationAndRegionOrderFollowTheirDefinitions) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 20000; ++trial) {
        const int regions = trial % 2 ? kBaseRegions : kExtRegions;
        int32_t p[kBaseRegions];
        for (int r = 0; r < regions; ++r) {
            const uint32_t u = rng();
            p[r] = trial % 3 == 0 ? static_cast<int32_t>(u % 40) - 15
                                  : (trial % 3 == 1 ? static_cast<int32_t>(u % 500) - 250 : static_cast<int32_t>(u % 3));
        }
        const int budget = static_cast<int>(rng() % 1500) - 100;
        int32_t got_categories[kBaseRegions], want_categories[kBaseRegions], got_balance[31], want_balance[31];
        Categorize(regions, budget, p, got_categories, got_balance);
        ModelCategorize(regions, budget, p, want_categories, want_balance);
        ASSERT_EQ(std::memcmp(got_categories, want_categories, sizeof(int32_t) * regions), 0) << "trial " << trial;
        ASSERT_EQ(std::memcmp(got_balance, want_balance, sizeof got_balance), 0) << "trial " << trial;

        // Selection sort: the largest remaining power, the highest position on ties.
        int32_t got_order[kBaseRegions], want_order[kBaseRegions], v[kBaseRegions];
        for (int r = 0; r < regions; ++r) got_order[r] = want_order[r] = r, v[r] = p[r];
        SortRegionsByPower(p, regions, got_order);
        for (int i = 0; i < regions - 1; ++i) {
            int best = i;
            for (int j = i + 1; j < regions; ++j)
                if (v[best] <= v[j]) best = j;
            std::swap(v[i], v[best]);
            std::swap(want_order[i], want_order[best]);
        }
        ASSERT_EQ(std::memcmp(got_order, want_order, sizeof(int32_t) * regions), 0) << "trial " << trial;
    }
}

}  // namespace
