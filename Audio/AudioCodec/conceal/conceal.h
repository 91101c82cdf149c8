// Concealment of frames of MDCT coefficients between two known neighbours.
#pragma once
#include <cstdint>

// seeds: the decoder's four sign generators. older/newer: 960 coefficients
// each. Writes n (1 ... 20) frames of 960 coefficients to out, oldest first.
void ConcealFrames(int32_t* seeds, const float* older, const float* newer, int n, float* out);
// Both channels at once; coefficient k gets the same sign in both.
void ConcealFramesStereo(int32_t* seeds, const float* older0, const float* newer0, float* out0,
                         const float* older1, const float* newer1, float* out1, int n);
