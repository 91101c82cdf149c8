// Radix-2 complex transform of 128 interleaved pairs, and the split step that
// turns it into the spectrum of 256 real samples (and back).
#include "speech/real_fft256.h"

#include <cmath>
#include <utility>

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

// a + w b and a - w b, the product w b rounded once per part.
void Butterfly(float* a, float* b, double wr, double wi) {
    const float tr = static_cast<float>(wr * b[0] - wi * b[1]);
    const float ti = static_cast<float>(wr * b[1] + wi * b[0]);
    b[0] = a[0] - tr;
    b[1] = a[1] - ti;
    a[0] = a[0] + tr;
    a[1] = a[1] + ti;
}

void ComplexFft128(float* data, const float* stage_twiddles) {
    // Bit-reversed reordering of the pairs.
    for (int i = 0, j = 0; i < kComplexFftSize; ++i) {
        if (j > i) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
        int bit = kComplexFftSize / 2;
        while (bit >= 1 && j >= bit) {
            j -= bit;
            bit /= 2;
        }
        j += bit;
    }
    for (int n = 2; n <= kComplexFftSize; n *= 2) {
        const int half = n / 2;
        const float* w = stage_twiddles + 2 * (half - 1);
        for (int k = 0; k < half; ++k) {
            const double wr = k == 0 ? 1.0 : w[2 * (k - 1)];
            const double wi = k == 0 ? 0.0 : w[2 * (k - 1) + 1];
            for (int i = k; i < kComplexFftSize; i += n) Butterfly(data + 2 * i, data + 2 * (i + half), wr, wi);
        }
    }
}

// Separates the spectra of the even and odd samples held in the complex
// transform of the pairs (forward: c2 = -0.5), or merges them back (c2 = 0.5).
// Bins 0 and 128 (data[0], data[1]) are left to the caller.
void SplitStep(float* data, double c2, const float* split_twiddles) {
    const double c1 = 0.5;
    for (int k = 1; k < kRealFftSize / 4; ++k) {
        const int i1 = 2 * k;
        const int i2 = i1 + 1;
        const int i3 = kRealFftSize - 2 * k;
        const int i4 = i3 + 1;
        const double wr = split_twiddles[2 * (k - 1)];
        const double wi = split_twiddles[2 * (k - 1) + 1];
        const float h1r = static_cast<float>(c1 * (static_cast<double>(data[i1]) + data[i3]));
        const float h1i = static_cast<float>(c1 * (static_cast<double>(data[i2]) - data[i4]));
        const float h2r = static_cast<float>(-c2 * (static_cast<double>(data[i2]) + data[i4]));
        const float h2i = static_cast<float>(c2 * (static_cast<double>(data[i1]) - data[i3]));
        data[i1] = static_cast<float>(static_cast<double>(h1r) + wr * h2r - wi * h2i);
        data[i2] = static_cast<float>(static_cast<double>(h1i) + wr * h2i + wi * h2r);
        data[i3] = static_cast<float>(static_cast<double>(h1r) - wr * h2r + wi * h2i);
        data[i4] = static_cast<float>(-static_cast<double>(h1i) + wr * h2i + wi * h2r);
    }
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
    // 1/128 is a power of two: the scaling is exact wherever it is applied.
    for (int i = 0; i < kRealFftSize; ++i) data[i] = data[i] * (1.0f / 128.0f);
}

void RealFft256_Inverse(float* data, const RealFft256Tables* tables) {
    SplitStep(data, 0.5, tables->inverse.split);
    const float dc = data[0];
    data[0] = static_cast<float>(0.5 * (static_cast<double>(dc) + data[1]));
    data[1] = static_cast<float>(0.5 * (static_cast<double>(dc) - data[1]));
    ComplexFft128(data, tables->inverse.stage);
}
