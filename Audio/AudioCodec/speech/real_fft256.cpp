// The 256-point real transform of the speech detector: its twiddle tables,
// and the radix-2 complex transform of 128 interleaved pairs and the split
// step that turns it into the spectrum of 256 real samples (and back).
#include "speech/real_fft256.h"

#include <cmath>

#include "speech/real_fft256.inc"

namespace {

constexpr double kPi = 3.141592653589793;

// w_k = e^(i k theta) for k = 1 ... count by the recurrence
// w_k = w_(k-1) + w_(k-1) (a + i b), a = -2 sin^2(theta / 2), b = sin(theta),
// carried in double and stored as float pairs.
void TwiddleRecurrence(double theta, int count, float* pairs) {
    const double half_sine = std::sin(0.5 * theta);
    const double a = -2.0 * half_sine * half_sine;
    const double b = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (int k = 0; k < count; ++k) {
        const double previous = wr;
        wr = wr * a - wi * b + wr;
        wi = wi * a + previous * b + wi;
        pairs[2 * k] = static_cast<float>(wr);
        pairs[2 * k + 1] = static_cast<float>(wi);
    }
}

void BuildDirection(double sign, RealFft256Twiddles* twiddles) {
    for (int n = 2; n <= kComplexFftSize; n *= 2)
        TwiddleRecurrence(sign * 2.0 * kPi / n, n / 2, twiddles->stage + 2 * (n / 2 - 1));
    TwiddleRecurrence(sign * 2.0 * kPi / kRealFftSize, kRealFftSize / 4, twiddles->split);
}

// The kernels for this processor's instruction set.
void ComplexFft128(float* data, const float* stage_twiddles) {
    DREMKO_KERNEL(ComplexFft128, data, stage_twiddles);
}

void SplitStep(float* data, double c2, const float* split_twiddles) {
    DREMKO_KERNEL(RealFftSplitStep, data, c2, split_twiddles);
}

}  // namespace

void RealFft256_BuildTables(RealFft256Tables* tables) {
    BuildDirection(1.0, &tables->forward);
    BuildDirection(-1.0, &tables->inverse);
}

void RealFft256_Forward(float* data, const RealFft256Tables* tables) {
    ComplexFft128(data, tables->forward.stage);
    SplitStep(data, -0.5, tables->forward.split);
    const float dc = data[0];
    data[0] = dc + data[1];
    data[1] = dc - data[1];
}

void RealFft256_Inverse(float* data, const RealFft256Tables* tables) {
    SplitStep(data, 0.5, tables->inverse.split);
    const float dc = data[0];
    data[0] = static_cast<float>(0.5 * (static_cast<double>(dc) + data[1]));
    data[1] = static_cast<float>(0.5 * (static_cast<double>(dc) - data[1]));
    ComplexFft128(data, tables->inverse.stage);
}
