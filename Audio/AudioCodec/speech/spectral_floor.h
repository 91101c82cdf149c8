// Slow per-bin tracker of the background spectrum (the noise floor), read by
// the harmonic-peak analysis to pick the peaks that stand out of it.
#pragma once
#include <cstdint>

constexpr int kSpectrumBins = 128;

struct SpectralFloorState {
    float smoothed[kSpectrumBins];    // recursively smoothed power per bin
    float runningMin[kSpectrumBins];  // minimum of smoothed since the last floor update
    float floor[kSpectrumBins];       // noise level per bin
    float smoothCoeff;
    float fallCoeff;  // floor update coefficient when the floor is not below the minimum
    float riseCoeff;  // floor update coefficient when the floor is below the minimum
    int32_t updateCounter;  // unfrozen updates since the last floor update
};

void SpectralFloor_Init(SpectralFloorState* st);
// frozen > 0 marks a hop too loud to be background: nothing changes then.
void SpectralFloor_Update(const float* power, int32_t frozen, SpectralFloorState* st);
