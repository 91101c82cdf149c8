// Sine-window MDCT of 960 coefficients: fold and window, DCT-IV, scale; and the
// inverse with overlap-add, keeping only the 480 values the next frame needs.
#include <cstring>

#include "simd/lanes.h"
#include "transform/transform.h"

namespace {

constexpr int kHalf = kFrameSamples / 2;
constexpr int kQuarter = kFrameSamples / 4;
// 1 / sqrt(480) as the nearest single-precision value, widened; applied on both
// sides, so that analysis followed by synthesis has unit gain.
constexpr double kScale = 0.04564354568719864;

const float* const w = SineWindow;

// The four values ending at p[3], last first: p[3], p[2], p[1], p[0].
Float4 LoadBackward(const float* p) { return Reverse(LoadFloat4(p)); }
Float4 LoadSamplesBackward(const int16_t* p) { return Reverse(LoadSamples(p)); }
void StoreBackward(float* p, Float4 v) { StoreFloat4(p, Reverse(v)); }

}  // namespace

// Four n at a time; each sum of two window products is formed in double and
// rounded once.
void MdctAnalysis(int16_t* history, float* coefficients) {
    const int16_t* x = history;
    float folded[kFrameSamples];
    for (int n = 0; n < kHalf; n += 4) {
        // u[n] = x[479 - n] w[479 - n] + x[480 + n] w[480 + n]
        StoreFloat4(folded + n, SumOfProducts(LoadSamplesBackward(x + 476 - n), LoadBackward(w + 476 - n),
                                              LoadSamples(x + 480 + n), LoadFloat4(w + 480 + n)));
        // u[480 + n] = x[960 + n] w[959 - n] - x[1919 - n] w[n]
        StoreFloat4(folded + kHalf + n, DifferenceOfProducts(LoadSamples(x + 960 + n), LoadBackward(w + 956 - n),
                                                             LoadSamplesBackward(x + 1916 - n), LoadFloat4(w + n)));
    }
    Dct4(folded, coefficients, kFrameSamples);
    for (int k = 0; k < kFrameSamples; k += 4) StoreFloat4(coefficients + k, Scale(kScale, LoadFloat4(coefficients + k)));
    std::memcpy(history, history + kFrameSamples, kFrameSamples * sizeof(int16_t));
}

// The length is always 960. Four i at a time.
void MdctSynthesis(const float* coefficients, float* overlap, float* output, int /*length*/) {
    float y[kFrameSamples];
    Dct4(coefficients, y, kFrameSamples);
    for (int k = 0; k < kFrameSamples; k += 4) StoreFloat4(y + k, Scale(kScale, LoadFloat4(y + k)));
    const float* q = overlap;
    for (int i = 0; i < kQuarter; i += 4) {
        const Float4 a = LoadBackward(y + 476 - i);      // y[479 - i]
        const Float4 b = LoadFloat4(y + i);              // y[i]
        const Float4 qi = LoadFloat4(q + i);             // q[i]
        const Float4 qm = LoadBackward(q + 476 - i);     // q[479 - i]
        const Float4 wi = LoadFloat4(w + i);             // w[i]
        const Float4 wm = LoadBackward(w + 476 - i);     // w[479 - i]
        const Float4 wh = LoadFloat4(w + 480 + i);       // w[480 + i]
        const Float4 we = LoadBackward(w + 956 - i);     // w[959 - i]
        StoreFloat4(output + i, SumOfProducts(a, wi, qi, we));
        StoreBackward(output + 956 - i, DifferenceOfProducts(a, we, qi, wi));
        StoreFloat4(output + 480 + i, DifferenceOfProducts(b, wh, qm, wm));
        StoreBackward(output + 476 - i, SumOfProducts(b, wm, qm, wh));
    }
    // q[i] = y[480 + i] and q[479 - i] = y[959 - i]: the second half of y.
    std::memcpy(overlap, y + kHalf, kHalf * sizeof(float));
}
