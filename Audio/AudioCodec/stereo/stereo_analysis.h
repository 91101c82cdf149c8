// Which channel of a stereo frame dominates in the 1 to 2.8 kHz range.
#pragma once
#include <cstdint>

#include "frame.h"

// Each channel's band powers come from the first half of its frame.
constexpr int kStereoAnalysedSamples = kFrameSamples / 2;

struct StereoAnalysisState {
    float band_level[2][10];
    float band_floor[2][10];
    int32_t dominant;
    float work[4 * kStereoAnalysedSamples];  // each channel's windowed samples and folds
};

void InitStereoAnalysis(StereoAnalysisState* state);
// Returns the dominant channel (0 or 1) after this frame's update.
int32_t StereoDominance(const int16_t* channel0, const int16_t* channel1, StereoAnalysisState* state);
// Ten band powers per channel from the first 480 samples of each.
void StereoBandPowers(const int16_t* channel0, const int16_t* channel1, float* powers0, float* powers1,
                      StereoAnalysisState* state);
