// The windowed 256-sample frame of one analysis step and its power spectrum.
#pragma once
#include "speech/speech_detector.h"

constexpr int kFrameLength = 2 * kHopSamples;

// windowHalf[i] = sin(i pi / 128), i = 0 ... 63, the rising taper.
void AnalysisFrame_BuildWindowHalf(float* windowHalf);
// Frame x[0 ... 255], newest sample first, from the hop just ended and the one
// before, tapered at both ends; then switches the half the next hop fills.
void AnalysisFrame_Build(SpeechDetectorState* state, float* x);
// power[k] = |X_k|^2 for k = 10 ... 83 (every bin the analysis step reads)
// from a frame's transform as RealFft256_Forward leaves it (128 X_k), 0
// elsewhere.
void AnalysisFrame_PowerSpectrum(const float* transform, float* power);
