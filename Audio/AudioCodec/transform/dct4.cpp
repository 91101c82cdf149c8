// 960-point DCT-IV as a 480-point complex FFT between a pre- and a post-twiddle:
// its twiddle tables, and the kernel for this processor's instruction set.
#include <cmath>

#include "transform/dct4.inc"
#include "transform/transform.h"

namespace {

constexpr int kHalf = kFrameSamples / 2;
// pi as the nearest single-precision value, widened.
constexpr double kSinglePrecisionPi = 3.1415927410125732;

}  // namespace

float Dct4PreTwiddle[2 * kFftPoints];
float Dct4PostTwiddle[2 * kFftPoints];

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

// The length is always 960.
void Dct4(const float* input, float* output, int /*length*/) {
    DREMKO_KERNEL(Dct4, input, output);
}
