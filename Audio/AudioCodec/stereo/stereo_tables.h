// Constant tables of the stereo dominance analysis, held to six decimal places.
#pragma once

// Symmetric Blackman window over the first half of a frame (zero at both ends).
extern const float BlackmanWindow480[480];
// Row j - 1 (j = 1 ... 59), pair b: cos and sin of 2 pi k j / 480 for bin k = 10 + 2b.
extern const float StereoBinTable[59][10][2];
