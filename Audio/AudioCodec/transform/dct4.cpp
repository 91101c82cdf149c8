// 960-point DCT-IV as a 480-point complex FFT between a pre- and a post-twiddle.
#include <cmath>

#include "transform/float_arithmetic.h"
#include "transform/transform.h"

namespace {

constexpr int kHalf = kFrameSamples / 2;
// pi as the nearest single-precision value, widened.
constexpr double kSinglePrecisionPi = 3.1415927410125732;

// e^(-i pi (k + 0.25) / 960) and e^(-i pi k / 960), k = 0 ... 479, as (re, im) pairs.
float Dct4PreTwiddle[2 * kHalf];
float Dct4PostTwiddle[2 * kHalf];

}  // namespace

void InitDct4Tables() {
    for (int k = 0; k < kHalf; ++k) {
        const double pre = (k + 0.25) * -kSinglePrecisionPi / kFrameSamples;
        const double post = k * -kSinglePrecisionPi / kFrameSamples;
        StoreComplex(Dct4PreTwiddle, k, {static_cast<float>(std::cos(pre)), static_cast<float>(std::sin(pre))});
        StoreComplex(Dct4PostTwiddle, k, {static_cast<float>(std::cos(post)), static_cast<float>(std::sin(post))});
    }
}

// The length is always 960. The input is read completely before any output is
// written, so input and output may be the same array.
void Dct4(const float* input, float* output, int /*length*/) {
    float folded[2 * kHalf];
    float spectrum[2 * kHalf];
    for (int k = 0; k < kHalf; ++k) {
        const Complex pair = {input[2 * k], input[kFrameSamples - 1 - 2 * k]};
        StoreComplex(folded, k, Multiply(pair, LoadComplex(Dct4PreTwiddle, k)));
    }
    Fft480(folded, spectrum);
    for (int k = 0; k < kHalf; ++k) {
        const Complex y = Multiply(LoadComplex(spectrum, k), LoadComplex(Dct4PostTwiddle, k));
        output[2 * k] = y.re;
        output[kFrameSamples - 1 - 2 * k] = -y.im;
    }
}
