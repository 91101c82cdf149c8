// Windowing of the two last hops and the power spectrum of the result.
#include "speech/analysis_frame.h"

#include <algorithm>
#include <cmath>

#include "simd/lanes.h"

namespace {

constexpr double kPiFloat = 3.1415927410125732;  // pi as a 32-bit float
// The bins the hop's readers take: the spectral floor tracks up to bin 83,
// the peak analysis reads bins 10 ... 79, the level bins 12 ... 63.
constexpr int kFirstPowerBin = 10;
constexpr int kLastPowerBin = 83;

}  // namespace

void AnalysisFrame_BuildWindowHalf(float* windowHalf) {
    for (int i = 0; i < kWindowTaper; ++i)
        windowHalf[i] = static_cast<float>(std::sqrt(0.5 - 0.5 * std::cos(i * kPiFloat / kWindowTaper)));
}

void AnalysisFrame_Build(SpeechDetectorState* state, float* x) {
    const float* newer = state->sampleHalves[state->fillingHalf];
    const float* older = state->sampleHalves[1 - state->fillingHalf];
    const float* w = state->windowHalf;
    for (int j = 0; j < kWindowTaper; ++j) {
        x[j] = w[j] * newer[j];
        x[kWindowTaper + j] = newer[kWindowTaper + j];
        x[kHopSamples + j] = older[j];
        x[kHopSamples + kWindowTaper + j] = older[kWindowTaper + j] * w[kWindowTaper - 1 - j];
    }
    state->fillingHalf = 1 - state->fillingHalf;
    state->fillPos = kHopSamples;
}

// Four bins at a time over the band (from the group that holds its first
// bin), each part first scaled to X_k by its float product with 1/128, then
// the bins outside the band cleared.
void AnalysisFrame_PowerSpectrum(const float* transform, float* power) {
    static_assert((kLastPowerBin + 1) % 4 == 0, "the band ends with a whole group");
    for (int k = kFirstPowerBin / 4 * 4; k <= kLastPowerBin; k += 4) {
        const Float4 re = LoadEven(transform + 2 * k) * (1.0f / 128.0f);
        const Float4 im = LoadOdd(transform + 2 * k) * (1.0f / 128.0f);
        StoreFloat4(power + k, SumOfProducts(re, re, im, im));
    }
    std::fill(power, power + kFirstPowerBin, 0.0f);
    std::fill(power + kLastPowerBin + 1, power + kSpectrumBins, 0.0f);
}
