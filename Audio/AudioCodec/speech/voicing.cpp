// The analysis step and the voiced decision.
#include "speech/voicing.h"

#include <cmath>
#include <cstring>

#include "speech/analysis_frame.h"
#include "speech/harmonic_peaks.h"
#include "speech/period_energy.h"

namespace {

constexpr float kThird = 1.0f / 3.0f;
constexpr float kNoLagSpread = 9999.0f;
constexpr float kLevelGain = 2.82f;
constexpr int kFirstLevelBin = 12;  // 375 Hz
constexpr int kLastLevelBin = 63;   // 1968.75 Hz
constexpr double kLoudOverFloor = 3.0;
constexpr double kMinimumRatio = 0.6;
constexpr double kMaximumLagSpread = 20.0;
constexpr float kDecay = 0.002f;

// Speech-band level of the hop: sqrt of the power in bins 12 ... 63, scaled.
float HopLevel(const float* power) {
    float energy = 0.0f;
    for (int k = kFirstLevelBin; k <= kLastLevelBin; ++k) energy = energy + power[k];
    const float root = static_cast<float>(std::sqrt(static_cast<double>(energy)));
    return root * kLevelGain;
}

void AgeHistories(SpeechDetectorState* state) {
    for (int i = kLagHistory - 1; i > 0; --i) {
        state->lagHistory[i] = state->lagHistory[i - 1];
        state->ratioHistory[i] = state->ratioHistory[i - 1];
    }
    for (int i = kStrengthHistory - 1; i > 0; --i) state->strengthHistory[i] = state->strengthHistory[i - 1];
}

// The next hop fills positions 127 ... 0 again; the older squares move back a hop.
void AgeEnergyHistory(SpeechDetectorState* state) {
    std::memmove(state->energyHistory + kHopSamples, state->energyHistory,
                 (kEnergyHistory - kHopSamples) * sizeof(float));
    state->energyPos = kHopSamples;
}

// Every comparison holds only when true, so a NaN (say, from a zero period
// energy) makes the hop unvoiced.
bool IsVoiced(const SpeechDetectorState* state, const LagStatistics& lags, const PeriodEnergy& periods) {
    return state->lagHistory[0] != 0.0f && lags.spread < kMaximumLagSpread && periods.spread < 0.17 &&
           periods.spread - 0.5 * periods.balance < 0.1 && periods.change < 0.4 &&
           static_cast<int>(lags.mean) != 0 && StrengthNotFading(state->strengthHistory);
}

}  // namespace

LagStatistics LagStatistics_Compute(const float* lagHistory, const float* ratioHistory) {
    int count = 0;
    float sum = 0.0f;
    float squares = 0.0f;
    float ratios = 0.0f;
    for (int i = 0; i < kLagHistory; ++i) {
        if (lagHistory[i] == 0.0f) continue;
        ++count;
        sum = sum + lagHistory[i];
        squares = static_cast<float>(squares + static_cast<double>(lagHistory[i]) * lagHistory[i]);
        ratios = ratios + ratioHistory[i];
    }
    if (count != kLagHistory) return LagStatistics{0.0f, kNoLagSpread, 0.0f};
    LagStatistics s;
    s.mean = sum * kThird;
    s.spread = static_cast<float>(static_cast<double>(squares) * kThird - static_cast<double>(s.mean) * s.mean);
    s.ratio = ratios * kThird;
    return s;
}

bool StrengthNotFading(const float* strengthHistory) {
    float limit = 2.75f * strengthHistory[0];
    for (int i = 1; i < kStrengthHistory; ++i) {
        if (!(strengthHistory[i] <= limit)) return false;
        limit = limit * (i <= 4 ? 1.07f : 1.14f);
    }
    return true;
}

float SpeechProbability_Update(float probability, bool voiced, float meanRatio) {
    const double p = probability;
    const double decay = static_cast<double>(kDecay);
    float next = static_cast<float>(p - (decay * p * p + decay));
    if (next < 0.0f) next = 0.0f;
    if (!voiced) return next;
    float target = static_cast<float>(meanRatio + 0.2);
    if (target > 1.0f) target = 1.0f;
    if (next < target) next = static_cast<float>(0.9 * target + 0.1 * next);
    return next;
}

void SpeechDetector_AnalyseHop(SpeechDetectorState* state) {
    float frame[kFrameLength];
    float power[kSpectrumBins];
    AnalysisFrame_Build(state, frame);
    RealFft256_Forward(frame, &state->fftTables);
    AnalysisFrame_PowerSpectrum(frame, power);

    const float level = HopLevel(power);
    state->levelRing[state->levelRingIndex & (kLevelRing - 1)] = level;
    LevelFloor_Update(state);
    ++state->levelRingIndex;

    AgeHistories(state);
    const int32_t frozen = level > kLoudOverFloor * state->levelFloor ? 1 : 0;
    SpectralFloor_Update(power, frozen, &state->spectralFloor);
    const HarmonicPeaks peaks = HarmonicPeaks_Analyse(power, state->spectralFloor.floor, &state->fftTables);
    state->lagHistory[0] = peaks.lag;
    state->strengthHistory[0] = peaks.strength;
    state->ratioHistory[0] = peaks.ratio;
    if (state->ratioHistory[0] < kMinimumRatio) state->lagHistory[0] = 0.0f;

    const LagStatistics lags = LagStatistics_Compute(state->lagHistory, state->ratioHistory);
    PeriodEnergy periods{0.0f, 0.0f, 0.0f};
    if (lags.spread < kMaximumLagSpread) periods = PeriodEnergy_Analyse(state->energyHistory, lags.mean);
    AgeEnergyHistory(state);

    const bool voiced = IsVoiced(state, lags, periods);
    state->speechProbability = SpeechProbability_Update(state->speechProbability, voiced, lags.ratio);
}
