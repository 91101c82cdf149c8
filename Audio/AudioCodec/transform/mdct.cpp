// Sine-window MDCT of 960 coefficients: fold and window, DCT-IV, scale; and the
// inverse with overlap-add, keeping only the 480 values the next frame needs.
#include <cstring>

#include "transform/float_arithmetic.h"
#include "transform/transform.h"

namespace {

constexpr int kHalf = kFrameSamples / 2;
constexpr int kQuarter = kFrameSamples / 4;
// 1 / sqrt(480) as the nearest single-precision value, widened; applied on both
// sides, so that analysis followed by synthesis has unit gain.
constexpr double kScale = 0.04564354568719864;

const float* const w = SineWindow;

// a * wa + b * wb and a * wa - b * wb, formed in double and rounded once.
float WindowedSum(float a, float wa, float b, float wb) {
    return static_cast<float>(static_cast<double>(a) * wa + static_cast<double>(b) * wb);
}
float WindowedDifference(float a, float wa, float b, float wb) {
    return static_cast<float>(static_cast<double>(a) * wa - static_cast<double>(b) * wb);
}

}  // namespace

void MdctAnalysis(int16_t* history, float* coefficients) {
    const int16_t* x = history;
    float folded[kFrameSamples];
    for (int n = 0; n < kHalf; ++n) {
        folded[n] = WindowedSum(x[479 - n], w[479 - n], x[480 + n], w[480 + n]);
        folded[kHalf + n] = WindowedDifference(x[960 + n], w[959 - n], x[1919 - n], w[n]);
    }
    Dct4(folded, coefficients, kFrameSamples);
    for (int k = 0; k < kFrameSamples; ++k) coefficients[k] = Scale(kScale, coefficients[k]);
    std::memcpy(history, history + kFrameSamples, kFrameSamples * sizeof(int16_t));
}

// The length is always 960.
void MdctSynthesis(const float* coefficients, float* overlap, float* output, int /*length*/) {
    float y[kFrameSamples];
    Dct4(coefficients, y, kFrameSamples);
    for (int k = 0; k < kFrameSamples; ++k) y[k] = Scale(kScale, y[k]);
    float* q = overlap;
    // Each step reads q[i] and q[479 - i] before replacing them; the pairs never meet.
    for (int i = 0; i < kQuarter; ++i) {
        const float a = y[479 - i];
        const float b = y[i];
        output[i] = WindowedSum(a, w[i], q[i], w[959 - i]);
        output[959 - i] = WindowedDifference(a, w[959 - i], q[i], w[i]);
        output[480 + i] = WindowedDifference(b, w[480 + i], q[479 - i], w[479 - i]);
        output[479 - i] = WindowedSum(b, w[479 - i], q[479 - i], w[480 + i]);
        q[i] = y[480 + i];
        q[479 - i] = y[959 - i];
    }
}
