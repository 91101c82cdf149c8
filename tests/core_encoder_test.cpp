// Core frame encoder: region powers, level and split, and the rate control.
// Whole frames are checked against the format in the core round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/categorize.h"
#include "core/core_encoder.h"
#include "core/core_tables.h"
#include "core/quantize.h"
#include "core/region_powers.h"
#include "test_signals.h"
#include "transform/transform.h"

namespace {

struct Envelope {
    CoreEncoderState state;
    RegionEnvelope regions;
    int32_t level;
};

Envelope PowersOf(const float* x) {
    InitCoreTables();
    Envelope e{{0, 0, -1, 0}, {}, 0};
    ComputeRegionPowers(x, &e.state, &e.regions, &e.level);
    return e;
}

// MDCT coefficients of a signal, frame by frame, scaled as the encoder does.
std::vector<std::vector<float>> Spectra(const std::vector<int16_t>& pcm) {
    std::vector<int16_t> window(2 * kFrameSamples, 0);
    std::vector<std::vector<float>> out;
    for (size_t at = 0; at + kFrameSamples <= pcm.size(); at += kFrameSamples) {
        std::copy(pcm.begin() + at, pcm.begin() + at + kFrameSamples, window.begin() + kFrameSamples);
        std::vector<float> x(kFrameSamples);
        MdctAnalysis(window.data(), x.data());
        for (float& v : x) v = static_cast<float>(static_cast<double>(v) * 0.024529000744223595);
        out.push_back(x);
    }
    return out;
}

TEST(RegionPowers, EnvelopeLimitsRisesAndFalls) {
    std::vector<float> x(kFrameSamples, 0.0f);
    const auto region_at = [&](int r, double amplitude) {
        for (int k = 0; k < kRegionSize; ++k) x[r * kRegionSize + k] = static_cast<float>(amplitude * (k % 2 ? 1 : -1));
    };
    for (int r = 0; r < kRegions; ++r) region_at(r, 1.0);  // power index 0
    region_at(5, 32.0);     // power index 10: a rise of 10 from region 4 stays
    region_at(6, 0.001);    // far below: raised to a fall of 12 from region 5
    region_at(20, 1e-5);    // a dip before a rise: raised to 11 below region 21,
    region_at(21, 4096.0);  // power index 24; region 19 then lies 11 below 20
    const Envelope env = PowersOf(x.data());
    const int32_t expected[][2] = {{4, 0}, {5, 10}, {6, -2}, {7, 0}, {18, 0}, {19, 2}, {20, 13}, {21, 24}, {22, 12}, {23, 0}};
    for (const auto& e : expected) EXPECT_EQ(env.regions.power[e[0]], e[1]) << "region " << e[0];
}

TEST(RegionPowers, SplitFollowsHighToLowBandRatio) {
    // Regions 0 ... 25 at power index a, 26 ... 43 at b (amplitude 2^(p/2)
    // gives power index p); `louder` high regions one index above b.
    struct Case {
        int a, b, louder, split;
    } cases[] = {{10, 0, 0, 0},  {10, 3, 0, 1},  {10, 4, 0, 2},  // high/low 0.00068, 0.0054, 0.0108
                 {10, 9, 0, 2},  {10, 10, 0, 3}, {10, 11, 0, 4}, // 0.35, 0.69, 1.38
                 {10, 12, 0, 5}, {10, 12, 4, 6}, {10, 13, 0, 7}};  // 2.77, 3.38, 5.54
    for (const Case& c : cases) {
        std::vector<float> x(kFrameSamples);
        for (int r = 0; r < kRegions; ++r) {
            const int p = r < 26 ? c.a : (r < 26 + c.louder ? c.b + 1 : c.b);
            std::fill_n(x.begin() + r * kRegionSize, kRegionSize, std::sqrt(std::ldexp(1.0f, p)));
        }
        const Envelope env = PowersOf(x.data());
        EXPECT_EQ(env.regions.power[kRegions - 1], c.b);
        EXPECT_EQ(env.state.split_index, c.split) << c.a << " " << c.b << " " << c.louder;
    }
}

TEST(RegionPowers, PowerIndexCountsTheBoundariesAtOrBelow) {
    // Against the binary search over the boundaries, at every boundary, the
    // floats next to it, midway between boundaries, at every power of two
    // and the float below it, and at the ends of the float range.
    InitCoreTables();
    const auto searched = [](float m) {
        int lo = 0, hi = 64;
        for (int step = 0; step < 6; ++step) {
            const int mid = (lo + hi) / 2;
            (PowerBoundary[mid - 1] <= m ? lo : hi) = mid;
        }
        return lo - 24;
    };
    std::vector<float> probes = {0.0f, -0.0f, 1e-45f, 1e-38f, 3.4e38f, std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
    for (int j = 0; j < kPowerBoundaries; ++j) {
        float m = std::nextafter(std::nextafter(PowerBoundary[j], 0.0f), 0.0f);
        for (int k = 0; k < 5; ++k, m = std::nextafter(m, 1e30f)) probes.push_back(m);
        probes.push_back(PowerBoundary[j] * 1.2f);
    }
    for (int e = -150; e <= 128; ++e) {  // where the binary exponent changes
        const float power = std::ldexp(1.0f, e);
        probes.push_back(power);
        probes.push_back(std::nextafter(power, 0.0f));
    }
    for (const float m : probes) EXPECT_EQ(PowerIndex(m), searched(m)) << m;
    EXPECT_EQ(PowerIndex(PowerBoundary[0]), -23);
    EXPECT_EQ(PowerIndex(std::nextafter(PowerBoundary[0], 0.0f)), -24);
    EXPECT_EQ(PowerIndex(PowerBoundary[kPowerBoundaries - 1]), 39);
}

TEST(RegionPowers, LevelAndEnvelopeBitsOfUnitCoefficients) {
    // Every region's mean square is 1: total 44, 10 log10(44.01) = 16.4, level
    // 16 + 20; region 0 is sent as 7, every difference as index 12 (d = 0).
    std::vector<float> x(kFrameSamples, 1.0f);
    Envelope env = PowersOf(x.data());
    EXPECT_EQ(env.level, 36);
    EXPECT_EQ(env.regions.code[0], 7);
    EXPECT_EQ(env.state.base_envelope_bits, 5 + (3 + 4 + 3 + 3 + 3 + 3 + 2 + 2 + 3 + 3 + 2 + 2) + 15 * 2);
    EXPECT_EQ(env.state.ext_envelope_bits, 16 * 2);
    // Doubling the amplitude adds 6 dB; far above the scale the level stays 127.
    for (float& v : x) v = 2.0f;
    EXPECT_EQ(PowersOf(x.data()).level, 42);
    for (float& v : x) v = 1e6f;
    EXPECT_EQ(PowersOf(x.data()).level, 127);
}

TEST(QuantizeLayer, RateControlFitsTheBudgetWithTheLeastCoarsening) {
    const auto spectra = Spectra(test_signals::Chords(12));
    for (size_t f = 2; f < spectra.size(); ++f) {
        const float* x = spectra[f].data();
        const Envelope env = PowersOf(x);
        int32_t table_power[kBaseRegions];
        for (int r = 0; r < kBaseRegions; ++r) table_power[r] = env.regions.power[r] + kPowerIndexOffset;
        for (int budget : {150, 300, 450}) {
            int32_t categories[kBaseRegions], start[kBaseRegions], balance[kControlValues - 1];
            Categorize(kBaseRegions, budget, env.regions.power, categories, balance);
            std::copy(categories, categories + kBaseRegions, start);
            QuantisedRegion quantised[kBaseRegions], q;
            const int c = QuantizeLayer(kBaseRegions, budget, x, table_power, categories, balance, quantised);
            // The categories are the categorisation's with control value c applied.
            for (int j = 0; j < c; ++j) ++start[balance[j]];
            int total = 0;
            for (int r = 0; r < kBaseRegions; ++r) {
                EXPECT_EQ(categories[r], start[r]) << r;
                const int bits = QuantizeRegion(x + r * kRegionSize, table_power[r], categories[r], &q);
                total += bits;
                // Each region is left quantised at its final category.
                if (bits > 0) {
                    const int vectors = VectorsPerRegion[categories[r]];
                    EXPECT_TRUE(std::equal(q.index, q.index + vectors, quantised[r].index)) << r;
                    EXPECT_EQ(q.nonzero, quantised[r].nonzero) << r;
                    EXPECT_EQ(bits, quantised[r].bits) << r;
                }
            }
            if (c < 31) EXPECT_LE(total, budget) << "frame " << f << " budget " << budget;
            // Below the budget only if one control value less would not have fitted.
            if (c > 0 && total < budget) {
                const int r = balance[c - 1];
                const int* at = table_power + r;
                const float* region = x + r * kRegionSize;
                const int more =
                    QuantizeRegion(region, *at, categories[r] - 1, &q) - QuantizeRegion(region, *at, categories[r], &q);
                EXPECT_GT(total + more, budget) << "frame " << f << " budget " << budget;
            }
        }
    }
}

}  // namespace
