// Radix-2 complex transform of 128 interleaved pairs, and the split step that
// turns it into the spectrum of 256 real samples (and back).
#include "speech/real_fft256.h"

#include <cmath>

#include "simd/lanes.h"

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

// Four complex values in split form.
struct Complex4 {
    Float4 re;
    Float4 im;
};

// a + w b and a - w b for four butterflies, the product w b rounded once per
// part (w = 1 is multiplied like any other twiddle).
void Butterflies(Complex4* a, Complex4* b, Complex4 w) {
    const Float4 tr = DifferenceOfProducts(w.re, b->re, w.im, b->im);
    const Float4 ti = SumOfProducts(w.re, b->im, w.im, b->re);
    b->re = a->re - tr;
    b->im = a->im - ti;
    a->re = a->re + tr;
    a->im = a->im + ti;
}

// The element that the bit-reversed reordering of 128 elements puts at i.
constexpr int BitReversed(int i) {
    int r = 0;
    for (int bit = 0; bit < 7; ++bit) r |= ((i >> bit) & 1) << (6 - bit);
    return r;
}

// Twiddles k ... k + 3 of the stage with `half` butterflies per group (k a
// multiple of 4, half >= 4); the table holds k = 1 ... half, and k = 0 is
// w = 1.
Complex4 StageTwiddles(const float* stage_twiddles, int half, int k) {
    const float* w = stage_twiddles + 2 * (half - 1 + k - 1);  // pair k - 1 of the stage
    const Complex4 t = {LoadEven(w), LoadOdd(w)};
    if (k > 0) return t;
    const Int4 first = {-1, 0, 0, 0};
    return {first ? Float4{} + 1.0f : t.re, first ? Float4{} : t.im};
}

// Radix-2 transform of 128 complex values on split parts, after the
// bit-reversed reordering. The butterflies of a stage are independent, so
// four run side by side.
void ComplexFft128Split(float* re, float* im, const float* stage_twiddles) {
    constexpr int kN = kComplexFftSize;
    // Groups of 2: butterflies (i, i + 1), w = 1; even elements are a, odd ones b.
    const Complex4 one = {Float4{} + 1.0f, Float4{}};
    for (int g = 0; g < kN; g += 8) {
        Complex4 a = {LoadEven(re + g), LoadEven(im + g)};
        Complex4 b = {LoadOdd(re + g), LoadOdd(im + g)};
        Butterflies(&a, &b, one);
        StoreInterleaved(re + g, a.re, b.re);
        StoreInterleaved(im + g, a.im, b.im);
    }
    // Groups of 4: butterflies (i, i + 2), w = 1 and w_1 in turn.
    const Complex4 w4 = {Float4{1.0f, stage_twiddles[2], 1.0f, stage_twiddles[2]},
                         Float4{0.0f, stage_twiddles[3], 0.0f, stage_twiddles[3]}};
    for (int g = 0; g < kN; g += 8) {
        const Float4 r0 = LoadFloat4(re + g), r1 = LoadFloat4(re + g + 4);
        const Float4 i0 = LoadFloat4(im + g), i1 = LoadFloat4(im + g + 4);
        Complex4 a = {__builtin_shufflevector(r0, r1, 0, 1, 4, 5), __builtin_shufflevector(i0, i1, 0, 1, 4, 5)};
        Complex4 b = {__builtin_shufflevector(r0, r1, 2, 3, 6, 7), __builtin_shufflevector(i0, i1, 2, 3, 6, 7)};
        Butterflies(&a, &b, w4);
        StoreFloat4(re + g, __builtin_shufflevector(a.re, b.re, 0, 1, 4, 5));
        StoreFloat4(re + g + 4, __builtin_shufflevector(a.re, b.re, 2, 3, 6, 7));
        StoreFloat4(im + g, __builtin_shufflevector(a.im, b.im, 0, 1, 4, 5));
        StoreFloat4(im + g + 4, __builtin_shufflevector(a.im, b.im, 2, 3, 6, 7));
    }
    // Groups of 8 ... 128: four consecutive k of a group at a time.
    for (int n = 8; n <= kN; n *= 2) {
        const int half = n / 2;
        for (int k = 0; k < half; k += 4) {
            const Complex4 w = StageTwiddles(stage_twiddles, half, k);
            for (int i = k; i < kN; i += n) {
                Complex4 a = {LoadFloat4(re + i), LoadFloat4(im + i)};
                Complex4 b = {LoadFloat4(re + i + half), LoadFloat4(im + i + half)};
                Butterflies(&a, &b, w);
                StoreFloat4(re + i, a.re);
                StoreFloat4(im + i, a.im);
                StoreFloat4(re + i + half, b.re);
                StoreFloat4(im + i + half, b.im);
            }
        }
    }
}

void ComplexFft128(float* data, const float* stage_twiddles) {
    float re[kComplexFftSize], im[kComplexFftSize];
    for (int i = 0; i < kComplexFftSize; ++i) {
        re[i] = data[2 * BitReversed(i)];
        im[i] = data[2 * BitReversed(i) + 1];
    }
    ComplexFft128Split(re, im, stage_twiddles);
    for (int i = 0; i < kComplexFftSize; i += 4) StoreInterleaved(data + 2 * i, LoadFloat4(re + i), LoadFloat4(im + i));
}

// Separates the spectra of the even and odd samples held in the complex
// transform of the pairs (forward: c2 = -0.5), or merges them back (c2 = 0.5).
// Bins 0 and 128 (data[0], data[1]) and 64 (data[128], data[129]) are left
// as they are. Four k at a time; each h is rounded to float before it is
// used, as lane conversions keep it in every build (a scalar form of this
// step lost those roundings to GCC's vectoriser at -O2).
void SplitStep(float* data, double c2, const float* split_twiddles) {
    constexpr double c1 = 0.5;
    constexpr int kLastK = kRealFftSize / 4 - 1;  // 63
    const Int4 lanes = {0, 1, 2, 3};
    for (int k = 1; k <= kLastK; k += 4) {
        // Lane j is k + j: i1, i2 = 2(k + j) and its successor, i3, i4 = 256 - 2(k + j) and its successor.
        const int mirror = kRealFftSize - 6 - 2 * k;
        const Float4 d1 = LoadEven(data + 2 * k), d2 = LoadOdd(data + 2 * k);
        const Float4 d3 = Reverse(LoadEven(data + mirror)), d4 = Reverse(LoadOdd(data + mirror));
        const Float4 wr = LoadEven(split_twiddles + 2 * (k - 1)), wi = LoadOdd(split_twiddles + 2 * (k - 1));
        const Float4 h1r = ScaledSum(c1, d1, d3);
        const Float4 h1i = ScaledDifference(c1, d2, d4);
        const Float4 h2r = ScaledSum(-c2, d2, d4);
        const Float4 h2i = ScaledDifference(c2, d1, d3);
        Float4 out1 = SumOfThree(h1r, wr, h2r, -wi, h2i);
        Float4 out2 = SumOfThree(h1i, wr, h2i, wi, h2r);
        Float4 out3 = SumOfThree(h1r, -wr, h2r, wi, h2i);
        Float4 out4 = SumOfThree(-h1i, wr, h2i, wi, h2r);
        // k = 64 (the last group's fourth lane) is not part of the step: its
        // places keep their values.
        const Int4 keep = k + lanes > kLastK;
        out1 = keep ? d1 : out1;
        out2 = keep ? d2 : out2;
        out3 = keep ? d3 : out3;
        out4 = keep ? d4 : out4;
        StoreInterleaved(data + 2 * k, out1, out2);
        StoreInterleaved(data + mirror, Reverse(out3), Reverse(out4));
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
