// 960-point DCT-IV as a 480-point complex FFT between a pre- and a post-twiddle.
#include <cmath>

#include "simd/lanes.h"
#include "transform/transform.h"

namespace {

constexpr int kHalf = kFrameSamples / 2;
// pi as the nearest single-precision value, widened.
constexpr double kSinglePrecisionPi = 3.1415927410125732;

// e^(-i pi (k + 0.25) / 960) and e^(-i pi k / 960), k = 0 ... 479, in split
// form: the 480 real parts, then the 480 imaginary parts.
float Dct4PreTwiddle[2 * kHalf];
float Dct4PostTwiddle[2 * kHalf];

}  // namespace

void InitDct4Tables() {
    for (int k = 0; k < kHalf; ++k) {
        const double pre = (k + 0.25) * -kSinglePrecisionPi / kFrameSamples;
        const double post = k * -kSinglePrecisionPi / kFrameSamples;
        Dct4PreTwiddle[k] = static_cast<float>(std::cos(pre));
        Dct4PreTwiddle[kHalf + k] = static_cast<float>(std::sin(pre));
        Dct4PostTwiddle[k] = static_cast<float>(std::cos(post));
        Dct4PostTwiddle[kHalf + k] = static_cast<float>(std::sin(post));
    }
}

// The length is always 960. The input is read completely before any output is
// written, so input and output may be the same array. Four k at a time; every
// complex product rounds each part once.
void Dct4(const float* input, float* output, int /*length*/) {
    float folded[2 * kHalf];  // split form
    float spectrum[2 * kHalf];
    for (int k = 0; k < kHalf; k += 4) {
        // (in[2k] + i in[959 - 2k]) times the pre-twiddle.
        const Float4 re = LoadEven(input + 2 * k);
        const Float4 im = Reverse(LoadOdd(input + kFrameSamples - 8 - 2 * k));
        const Float4 wr = LoadFloat4(Dct4PreTwiddle + k);
        const Float4 wi = LoadFloat4(Dct4PreTwiddle + kHalf + k);
        StoreFloat4(folded + k, DifferenceOfProducts(re, wr, im, wi));
        StoreFloat4(folded + kHalf + k, SumOfProducts(re, wi, im, wr));
    }
    Fft480Split(folded, spectrum);
    // y = Z[k] times the post-twiddle; out[2k] = Re y, out[959 - 2k] = -Im y.
    float y_re[kHalf];
    float y_im[kHalf];
    for (int k = 0; k < kHalf; k += 4) {
        const Float4 zr = LoadFloat4(spectrum + k);
        const Float4 zi = LoadFloat4(spectrum + kHalf + k);
        const Float4 wr = LoadFloat4(Dct4PostTwiddle + k);
        const Float4 wi = LoadFloat4(Dct4PostTwiddle + kHalf + k);
        StoreFloat4(y_re + k, DifferenceOfProducts(zr, wr, zi, wi));
        StoreFloat4(y_im + k, SumOfProducts(zr, wi, zi, wr));
    }
    // out[2k + 1] = out[959 - 2(479 - k)] = -Im y[479 - k].
    for (int k = 0; k < kHalf; k += 4)
        StoreInterleaved(output + 2 * k, LoadFloat4(y_re + k), -Reverse(LoadFloat4(y_im + kHalf - 4 - k)));
}
