// The power spectrum, spectral floor tracking and the harmonic-peak pitch search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "speech/analysis_frame.h"
#include "speech/harmonic_peaks.h"
#include "speech/spectral_floor.h"
#include "test_signals.h"

namespace {

// |X_k|^2 of every bin in the band, formed in double and rounded once, and 0
// outside it, on the spectrum of a real frame.
TEST(SpeechPowerSpectrum, SquaresTheBandAndClearsTheRest) {
    const std::vector<int16_t> pcm = test_signals::SpeechLike(1, 3);
    std::vector<float> spectrum(256);
    for (int i = 0; i < 256; ++i) spectrum[i] = static_cast<float>(pcm[static_cast<size_t>(i) * 3] * 0.37);
    float power[128];
    AnalysisFrame_PowerSpectrum(spectrum.data(), power);
    for (int k = 0; k < 128; ++k) {
        const double re = spectrum[2 * k], im = spectrum[2 * k + 1];
        const float expected = k >= 10 && k <= 101 ? static_cast<float>(re * re + im * im) : 0.0f;
        EXPECT_EQ(power[k], expected) << "bin " << k;
    }
}

TEST(SpeechSpectralFloor, FrozenHopsChangeNothing) {
    SpectralFloorState st;
    SpectralFloor_Init(&st);
    std::vector<float> power(128, 5.0f);
    SpectralFloor_Update(power.data(), 0, &st);
    const SpectralFloorState before = st;
    for (int hop = 0; hop < 200; ++hop) SpectralFloor_Update(power.data(), 1, &st);
    EXPECT_EQ(std::memcmp(&st, &before, sizeof st), 0);
}

TEST(SpeechSpectralFloor, FollowsQuietBackgroundOncePerSecond) {
    SpectralFloorState st;
    SpectralFloor_Init(&st);
    EXPECT_NEAR(st.smoothCoeff, 0.2043305, 1e-7);
    EXPECT_NEAR(st.riseCoeff, 0.1166202, 1e-7);
    std::vector<float> power(128, 2.0f);
    for (int hop = 1; hop <= 63; ++hop) SpectralFloor_Update(power.data(), 0, &st);
    EXPECT_EQ(st.floor[40], 100.0f);  // no update before the 64th unfrozen hop
    EXPECT_EQ(st.updateCounter, 63);
    SpectralFloor_Update(power.data(), 0, &st);
    EXPECT_EQ(st.updateCounter, 1);
    // The smoothed level has reached the background; the floor falls fast toward it.
    EXPECT_NEAR(st.floor[40], 100.0 + (2.0 - 100.0) * 0.9162568, 1e-3);
    EXPECT_EQ(st.runningMin[40], 1e8f);
    for (int k : {0, 3, 84, 127}) EXPECT_EQ(st.floor[k], 100.0f) << k;
    for (int hop = 0; hop < 63 * 20; ++hop) SpectralFloor_Update(power.data(), 0, &st);
    EXPECT_NEAR(st.floor[40], 2.0, 1e-4);
    // Louder background: the floor rises slowly.
    std::fill(power.begin(), power.end(), 50.0f);
    for (int hop = 0; hop < 63 * 2; ++hop) SpectralFloor_Update(power.data(), 0, &st);
    EXPECT_GT(st.floor[40], 2.0f);
    EXPECT_LT(st.floor[40], 2.0f + 0.3f * 48.0f);
    // Silence: the floor stops at 0.01.
    std::fill(power.begin(), power.end(), 0.0f);
    for (int hop = 0; hop < 63 * 40; ++hop) SpectralFloor_Update(power.data(), 0, &st);
    EXPECT_EQ(st.floor[40], 0.01f);
}

class SpeechHarmonicPeaks : public ::testing::Test {
protected:
    void SetUp() override {
        RealFft256_BuildTables(&tables_);
        floor_.assign(128, 1.0f);
        power_.assign(128, 0.5f);
    }
    RealFft256Tables tables_;
    std::vector<float> floor_;
    std::vector<float> power_;
};

TEST_F(SpeechHarmonicPeaks, SinglePeakAt1000HzGivesLag80) {
    power_[32] = 400.0f;
    const HarmonicPeaks r = HarmonicPeaks_Analyse(power_.data(), floor_.data(), &tables_);
    EXPECT_EQ(r.lag, 80.0f);
    EXPECT_NEAR(r.strength, 399.5f, 1e-3);
    EXPECT_NEAR(r.ratio, 1.0f, 1e-5);
}

TEST_F(SpeechHarmonicPeaks, HarmonicCombGivesItsPeriod) {
    // Harmonics of 125 Hz (every 4th bin) in 375 ... 2375 Hz: period 64 samples.
    for (int k = 12; k <= 76; k += 4) power_[k] = 1000.0f;
    const HarmonicPeaks r = HarmonicPeaks_Analyse(power_.data(), floor_.data(), &tables_);
    EXPECT_EQ(r.lag, 128.0f);
    EXPECT_NEAR(r.strength, 17 * 999.5f, 0.1);
    EXPECT_NEAR(r.ratio, 1.0f, 1e-4);
}

TEST_F(SpeechHarmonicPeaks, PeaksBelowTwentyTimesTheFloorDoNotCount) {
    power_[32] = 19.9f;
    HarmonicPeaks r = HarmonicPeaks_Analyse(power_.data(), floor_.data(), &tables_);
    EXPECT_EQ(r.lag, 0.0f);
    EXPECT_EQ(r.strength, 0.0f);
    // A flat spectrum far above the floor has no peaks: no bin stands above its neighbours.
    for (int k = 10; k <= 79; ++k) power_[k] = 500.0f;
    r = HarmonicPeaks_Analyse(power_.data(), floor_.data(), &tables_);
    EXPECT_EQ(r.lag, 0.0f);
}

}  // namespace
