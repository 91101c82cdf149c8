// Sine-window MDCT of 960 coefficients over a 960-point DCT-IV and a
// 480-point mixed-radix complex FFT.
#pragma once
#include <cstdint>

#include "frame.h"

// The complex FFT inside the DCT-IV: half the frame's length.
constexpr int kFftPoints = kFrameSamples / 2;

// Rising half of the 1920-tap sine window, sin(pi (n + 0.5) / 1920).
extern const float SineWindow[kFrameSamples];
// e^(-2 pi i j / 480) as (re, im) pairs, j = 0 ... 479.
extern const float FftTwiddle[2 * kFftPoints];

// e^(-i pi (k + 0.25) / 960) and e^(-i pi k / 960), k = 0 ... 479, in split
// form (the 480 real parts, then the 480 imaginary parts), built by InitDct4Tables.
extern float Dct4PreTwiddle[2 * kFftPoints];
extern float Dct4PostTwiddle[2 * kFftPoints];

// Builds the DCT-IV pre- and post-twiddles; run once per process.
void InitDct4Tables();
// Unnormalised DCT-IV of 960 points; input is read fully before output is written.
void Dct4(const float* input, float* output, int length);
// Forward 480-point DFT of complex (re, im) pairs; data is used as work space.
void Fft480(float* data, float* output);
// The same on split parts: work holds the 480 real parts, then the 480
// imaginary parts, and is used as work space; spectrum receives the
// transform in the same split form.
void Fft480Split(float* work, float* spectrum);
// history: 1920 samples (previous frame, current frame); shifted after use.
void MdctAnalysis(int16_t* history, float* coefficients);
// overlap: the channel's 480-float overlap memory, read and replaced.
void MdctSynthesis(const float* coefficients, float* overlap, float* output, int length);

// The twiddles of the FFT's first three stages and of the DCT-IV in double
// precision, split form, each copied from its float table on the first call:
// widening a float is exact, so a product with these equals the product with
// the float, and the kernels skip converting the twiddle at every product.
struct FftWideTwiddles {
    double radix2[2 * 240];    // W^j, j = 0 ... 239
    double radix3[2][2 * 80];  // W^2j, W^4j, j = 0 ... 79
    double radix5[4][2 * 16];  // W^6jr, r = 1 ... 4, j = 0 ... 15
};
struct Dct4WideTwiddles {
    double pre[2 * kFftPoints];   // Dct4PreTwiddle
    double post[2 * kFftPoints];  // Dct4PostTwiddle
};
// SineWindow in double, rising (w[n]) and falling (w[959 - n]), so that the
// window's products skip converting it and read it forwards either way.
struct WideSineWindow {
    double rising[kFrameSamples];
    double falling[kFrameSamples];
};
const FftWideTwiddles& FftStageTwiddles();
const WideSineWindow& SineWindowInDouble();
// Runs InitDct4Tables before the copy, so that the copy holds the built
// tables whichever comes first, a transform or a context's initialisation.
const Dct4WideTwiddles& Dct4Twiddles();
