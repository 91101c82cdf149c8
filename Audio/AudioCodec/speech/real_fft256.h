// 256-point real Fourier transform of the speech detector: a 128-point
// complex radix-2 transform on interleaved pairs plus a split step.
#pragma once

constexpr int kRealFftSize = 256;
constexpr int kComplexFftSize = 128;

// Twiddles of one direction as (cos, sin) pairs. Stage n (n = 2, 4, ..., 128)
// holds k = 1 ... n/2 at pair offset n/2 - 1; the split step holds k = 1 ... 64.
struct RealFft256Twiddles {
    float stage[2 * (kComplexFftSize - 1)];
    float split[2 * (kRealFftSize / 4)];
};

struct RealFft256Tables {
    RealFft256Twiddles forward;  // angles 2 pi k / n
    RealFft256Twiddles inverse;  // angles -2 pi k / n
};

void RealFft256_BuildTables(RealFft256Tables* tables);
// In place. Real input; output 128 X_k with X_k = (1/128) sum x[n] e^(2 pi i k n / 256),
// packed as data[0] = X_0, data[1] = X_128, data[2k], data[2k+1] = Re, Im X_k.
// The reader scales the values it takes by their float product with 1/128,
// so that bins nobody reads are not scaled.
void RealFft256_Forward(float* data, const RealFft256Tables* tables);
// In place. Packed spectrum input; output r[n] = X_0/2 + (-1)^n X_128/2 +
// sum over k = 1 ... 127 of (Re X_k cos(2 pi k n / 256) + Im X_k sin(2 pi k n / 256)).
void RealFft256_Inverse(float* data, const RealFft256Tables* tables);
