// Windowing of the two last hops and the power spectrum of the result.
#include "speech/analysis_frame.h"

#include <cmath>

namespace {

constexpr double kPiFloat = 3.1415927410125732;  // pi as a 32-bit float
constexpr int kFirstPowerBin = 10;
constexpr int kLastPowerBin = 101;

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

void AnalysisFrame_PowerSpectrum(const float* spectrum, float* power) {
    for (int k = 0; k < kSpectrumBins; ++k) {
        const double re = spectrum[2 * k];
        const double im = spectrum[2 * k + 1];
        power[k] = k >= kFirstPowerBin && k <= kLastPowerBin ? static_cast<float>(re * re + im * im) : 0.0f;
    }
}
