// Pitch from the spectral peaks that stand well above the noise floor: the
// cosine transform of the peak comb peaks at the common period.
#pragma once
#include "speech/real_fft256.h"

struct HarmonicPeaks {
    float lag;       // period in half-samples at 8 kHz: 70 ... 214, or 0 when none was found
    float strength;  // sum of the accepted peak heights
    float ratio;     // comb response at the period over its response at 0 (0/0 when lag is 0)
};

// power, floor: 128 bins of 31.25 Hz.
HarmonicPeaks HarmonicPeaks_Analyse(const float* power, const float* floor, const RealFft256Tables* tables);
