// The voicing decision: lag statistics, period energies, the fading-strength
// guard, the probability and the level floor.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "speech/period_energy.h"
#include "speech/voicing.h"

namespace {

TEST(SpeechLagStatistics, ThreeEqualLags) {
    const float lags[3] = {80.0f, 80.0f, 80.0f};
    const float ratios[3] = {0.9f, 0.9f, 0.9f};
    const LagStatistics s = LagStatistics_Compute(lags, ratios);
    EXPECT_EQ(s.mean, 80.0f);
    EXPECT_GE(s.spread, 0.0f);
    EXPECT_LT(s.spread, 1e-3f);  // rounding of 1/3 only
    EXPECT_NEAR(s.ratio, 0.9f, 1e-6);
}

TEST(SpeechLagStatistics, SpreadOfLagsAndMissingLags) {
    const float ratios[3] = {0.7f, 0.8f, 0.9f};
    const float close[3] = {80.0f, 84.0f, 76.0f};
    EXPECT_NEAR(LagStatistics_Compute(close, ratios).spread, 32.0 / 3.0, 1e-3);
    const float apart[3] = {70.0f, 80.0f, 90.0f};
    EXPECT_NEAR(LagStatistics_Compute(apart, ratios).spread, 200.0 / 3.0, 1e-3);
    const float missing[3] = {80.0f, 0.0f, 80.0f};
    EXPECT_EQ(LagStatistics_Compute(missing, ratios).spread, 9999.0f);
}

// The period that a single square at position pos falls into, or -1.
int PeriodOf(float mean_lag, int pos, int* periods) {
    std::vector<float> history(512, 0.0f);
    history[pos] = 1.0f;
    float e[kMaxPeriods];
    *periods = PeriodEnergy_Periods(history.data(), mean_lag, e);
    for (int j = 0; j < *periods; ++j)
        if (e[j] != 0.0f) return j;
    return -1;
}

TEST(SpeechPeriodEnergy, PeriodsSpanAtLeast35MsAroundThePoint256Back) {
    struct Expect {
        float mean_lag;  // twice the period
        int periods;
        int first;       // first position of period 0
        int length;      // samples per period: the period minus one
    };
    for (const Expect& x : {Expect{80.0f, 8, 96, 39}, Expect{140.0f, 4, 116, 69}, Expect{138.0f, 6, 49, 68}}) {
        int m = 0;
        EXPECT_EQ(PeriodOf(x.mean_lag, x.first - 1, &m), -1) << x.mean_lag;
        EXPECT_EQ(m, x.periods) << x.mean_lag;
        for (int j = 0; j < x.periods; ++j) {
            const int start = x.first + j * x.length;
            EXPECT_EQ(PeriodOf(x.mean_lag, start, &m), j) << x.mean_lag << " period " << j;
            EXPECT_EQ(PeriodOf(x.mean_lag, start + x.length - 1, &m), j) << x.mean_lag << " period " << j;
        }
        EXPECT_EQ(PeriodOf(x.mean_lag, x.first + x.periods * x.length, &m), -1) << x.mean_lag;
    }
}

TEST(SpeechPeriodEnergy, FractionalPeriodsJoinWithoutGap) {
    std::vector<float> ones(512, 1.0f);
    float e[kMaxPeriods];
    const float mean_lag = 242.0f / 3.0f;  // period 40.33 samples
    ASSERT_EQ(PeriodEnergy_Periods(ones.data(), mean_lag, e), 8);
    for (int j = 0; j < 8; ++j) EXPECT_NEAR(e[j], mean_lag * 0.5 - 1.0, 1e-4) << j;
}

TEST(SpeechPeriodEnergy, SpreadBalanceAndChange) {
    std::vector<float> history(512, 3.0f);
    PeriodEnergy p = PeriodEnergy_Analyse(history.data(), 80.0f);
    EXPECT_EQ(p.spread, 0.0f);
    EXPECT_EQ(p.balance, 0.0f);
    EXPECT_EQ(p.change, 0.0f);
    // Newer periods (positions 96 ... 251) twice as loud as the older ones.
    for (int i = 0; i < 252; ++i) history[i] = 6.0f;
    p = PeriodEnergy_Analyse(history.data(), 80.0f);
    EXPECT_NEAR(p.balance, 1.0 / 3.0, 1e-6);
    EXPECT_NEAR(p.change, 1.0 / 7.0, 1e-6);  // one step of ratio 2 among seven
    EXPECT_NEAR(p.spread, 1.0 - 2.25 / 2.5, 1e-6);
    // Silence: 0/0 everywhere, which the voiced test reads as unvoiced.
    std::fill(history.begin(), history.end(), 0.0f);
    p = PeriodEnergy_Analyse(history.data(), 80.0f);
    EXPECT_FALSE(p.spread < 0.17f);
    EXPECT_FALSE(p.change < 0.4f);
}

TEST(SpeechVoicing, StrengthMustNotBeAFadingTail) {
    float s[10] = {1.0f, 2.75f, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(StrengthNotFading(s));
    s[1] = 2.76f;
    EXPECT_FALSE(StrengthNotFading(s));
    s[1] = 0.0f;
    s[9] = 6.0f;  // the limit nine hops back is 2.75 * 1.07^4 * 1.14^4 = 6.09
    EXPECT_TRUE(StrengthNotFading(s));
    s[9] = 6.2f;
    EXPECT_FALSE(StrengthNotFading(s));
}

TEST(SpeechVoicing, ProbabilityDecaysSlowlyAndRisesFast) {
    EXPECT_NEAR(SpeechProbability_Update(1.0f, false, 0.0f), 0.996f, 1e-7);
    EXPECT_EQ(SpeechProbability_Update(0.0f, false, 0.0f), 0.0f);
    // One voiced hop at the lowest ratio gives 0.72 from nothing; a strong one tops out at 1.
    EXPECT_NEAR(SpeechProbability_Update(0.0f, true, 0.6f), 0.72f, 1e-6);
    float p = 0.0f;
    for (int hop = 0; hop < 50; ++hop) p = SpeechProbability_Update(p, true, 0.95f);
    EXPECT_LE(p, 1.0f);
    EXPECT_GT(p, 0.99f);
    // The flag (p >= 0.61) holds about 1.0 s from 0.8 and 1.9 s from 1.0.
    for (const auto& [start, hops] : {std::pair<float, int>{0.8f, 64}, std::pair<float, int>{1.0f, 119}}) {
        p = start;
        int n = 0;
        while (SpeechDetector_ProbabilityPercent(p) >= 61) {
            p = SpeechProbability_Update(p, false, 0.0f);
            ++n;
        }
        EXPECT_EQ(n, hops) << start;
    }
    EXPECT_EQ(SpeechDetector_ProbabilityPercent(1.0f), 99);
}

TEST(SpeechLevelFloor, FallsAtOnceAndRisesAfter301Hops) {
    SpeechDetectorState st{};
    SpeechDetector_Init(&st, 8, 20);
    auto hop = [&st](float level) {
        st.levelRing[st.levelRingIndex & 3] = level;
        LevelFloor_Update(&st);
        ++st.levelRingIndex;
    };
    hop(10.0f);
    EXPECT_EQ(st.levelFloor, 2.5f);  // three zeros still in the ring
    for (int i = 0; i < 300; ++i) hop(10.0f);
    EXPECT_EQ(st.levelFloor, 2.5f);
    hop(10.0f);  // the 301st hop since the floor last fell
    EXPECT_EQ(st.levelFloor, 10.0f);
    EXPECT_EQ(st.floorAge, 100);
    hop(2.0f);
    EXPECT_EQ(st.levelFloor, 8.0f);
    EXPECT_EQ(st.floorAge, 0);
}

TEST(SpeechVoicing, QuietHopOnlyDecays) {
    SpeechDetectorState st{};
    SpeechDetector_Init(&st, 8, 20);
    st.speechProbability = 1.0f;
    SpeechDetector_AnalyseHop(&st);
    EXPECT_NEAR(st.speechProbability, 0.996f, 1e-7);
    EXPECT_EQ(st.lagHistory[0], 0.0f);
    EXPECT_EQ(st.levelRingIndex, 1);
    EXPECT_EQ(st.fillingHalf, 1);
}

}  // namespace
