// Constant tables of the stereo dominance analysis, held to six decimal places.
#pragma once

// Ten bands (bins 10, 12, ..., 28 of a 480-point transform), each summed over
// 59 pairs of folded samples.
constexpr int kStereoBands = 10;
constexpr int kStereoRows = 59;

// Symmetric Blackman window over the first half of a frame (zero at both ends).
extern const float BlackmanWindow480[480];
// Row j - 1 (j = 1 ... 59): [0][b] cos and [1][b] sin of 2 pi k j / 480 for bin
// k = 10 + 2b, so that a row's twenty values load four at a time.
extern const float StereoBinTable[kStereoRows][2][kStereoBands];
