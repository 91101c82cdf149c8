// Forward 480-point DFT by decimation in frequency over 480 = 2 * 3 * 5 * 16.
// The order of every operation is fixed, so that all builds produce the same
// bits: stages 2, 3 and 5 run in place with a twiddle product after each
// butterfly; the 16-point stage writes to the output in natural order.
//
// The work runs on split real and imaginary parts, four butterflies side by
// side: the first three stages take four consecutive j, the 16-point stage
// takes the four columns of its 4 x 4 arrangement. Every butterfly does
// exactly the operations of the one-at-a-time arrangement, lane by lane.
#include "simd/lanes.h"
#include "transform/transform.h"

namespace {

constexpr int kPoints = 480;

// Four complex values.
struct Complex4 {
    Float4 re;
    Float4 im;
};

Complex4 Load(const float* split, int i) { return {LoadFloat4(split + i), LoadFloat4(split + kPoints + i)}; }

void Store(float* split, int i, Complex4 v) {
    StoreFloat4(split + i, v.re);
    StoreFloat4(split + kPoints + i, v.im);
}

Complex4 Add(Complex4 a, Complex4 b) { return {a.re + b.re, a.im + b.im}; }
Complex4 Subtract(Complex4 a, Complex4 b) { return {a.re - b.re, a.im - b.im}; }

// (a.re b.re - a.im b.im) + i (a.re b.im + a.im b.re), each part rounded once.
Complex4 Multiply(Complex4 a, Complex4 b) {
    return {DifferenceOfProducts(a.re, b.re, a.im, b.im), SumOfProducts(a.re, b.im, a.im, b.re)};
}

// The twiddles of stages 1 to 3 in split form, in the order the lanes read
// them: W^j, then W^2j and W^4j, then W^6jr for r = 1 ... 4.
struct StageTwiddles {
    float radix2[2 * 240];
    float radix3[2][2 * 80];
    float radix5[4][2 * 16];
};

void CopyTwiddles(int count, int step, float* split) {
    for (int j = 0; j < count; ++j) {
        split[j] = FftTwiddle[2 * step * j];
        split[count + j] = FftTwiddle[2 * step * j + 1];
    }
}

StageTwiddles BuildStageTwiddles() {
    StageTwiddles t;
    CopyTwiddles(240, 1, t.radix2);
    for (int r = 1; r <= 2; ++r) CopyTwiddles(80, 2 * r, t.radix3[r - 1]);
    for (int r = 1; r <= 4; ++r) CopyTwiddles(16, 6 * r, t.radix5[r - 1]);
    return t;
}

// Copied from FftTwiddle once, by the first caller.
const StageTwiddles& Twiddles() {
    static const StageTwiddles twiddles = BuildStageTwiddles();
    return twiddles;
}

// Four twiddles j ... j + 3 of a split table of `count` entries.
Complex4 TwiddlesAt(const float* split, int count, int j) { return {LoadFloat4(split + j), LoadFloat4(split + count + j)}; }

void Radix2Stage(float* x, const StageTwiddles& w) {
    constexpr int kStride = kPoints / 2;
    for (int j = 0; j < kStride; j += 4) {
        const Complex4 a = Load(x, j);
        const Complex4 b = Load(x, j + kStride);
        Store(x, j, Add(a, b));
        Store(x, j + kStride, Multiply(Subtract(a, b), TwiddlesAt(w.radix2, kStride, j)));
    }
}

void Radix3Stage(float* x, const StageTwiddles& w) {
    constexpr int kBlock = kPoints / 2;
    constexpr int kStride = kBlock / 3;
    constexpr double kMinusSin60 = -0.8660253882408142;
    for (int block = 0; block < kPoints; block += kBlock) {
        for (int j = 0; j < kStride; j += 4) {
            const int i0 = block + j;
            const Complex4 x0 = Load(x, i0);
            const Complex4 x1 = Load(x, i0 + kStride);
            const Complex4 x2 = Load(x, i0 + 2 * kStride);
            const Complex4 t = Add(x1, x2);
            const Complex4 y0 = Add(x0, t);
            const Complex4 m = {AddScaled(y0.re, -1.5, t.re), AddScaled(y0.im, -1.5, t.im)};
            const Complex4 d = Subtract(x1, x2);
            const Complex4 s = {Scale(kMinusSin60, d.re), Scale(kMinusSin60, d.im)};
            const Complex4 p = {m.re - s.im, m.im + s.re};
            const Complex4 q = {m.re + s.im, m.im - s.re};
            Store(x, i0, y0);
            Store(x, i0 + kStride, Multiply(p, TwiddlesAt(w.radix3[0], kStride, j)));
            Store(x, i0 + 2 * kStride, Multiply(q, TwiddlesAt(w.radix3[1], kStride, j)));
        }
    }
}

// One part (real or imaginary) of the Winograd 5-point DFT: output 0 and the
// sums from which outputs 1 to 4 are assembled.
struct Dft5Part {
    Float4 sum;   // output 0
    Float4 s2;    // shared by outputs 1 and 4
    Float4 s4;    // shared by outputs 2 and 3
    Float4 odd1;  // sine sum of outputs 1 and 4
    Float4 odd2;  // sine sum of outputs 2 and 3
};

Dft5Part Dft5OnePart(Float4 x0, Float4 x1, Float4 x2, Float4 x3, Float4 x4) {
    const Float4 t1 = x1 + x4;
    const Float4 t2 = x2 + x3;
    const Float4 t3 = x1 - x4;
    const Float4 t4 = x2 - x3;
    const Float4 t5 = t1 + t2;
    Dft5Part part;
    part.sum = x0 + t5;
    const Float4 s1 = AddScaled(part.sum, -1.25, t5);
    const Float4 m2 = Scale(0.55901700258255, t1 - t2);
    part.s2 = s1 + m2;
    part.s4 = s1 - m2;
    const Float4 m3 = Scale(0.5877852439880371, t3 + t4);
    part.odd1 = AddScaled(m3, 0.3632712662220001, t3);
    part.odd2 = AddScaled(m3, -1.538841724395752, t4);
    return part;
}

void Radix5Stage(float* x, const StageTwiddles& w) {
    constexpr int kBlock = kPoints / 6;
    constexpr int kStride = kBlock / 5;
    for (int block = 0; block < kPoints; block += kBlock) {
        for (int j = 0; j < kStride; j += 4) {
            Complex4 in[5];
            for (int r = 0; r < 5; ++r) in[r] = Load(x, block + j + kStride * r);
            const Dft5Part re = Dft5OnePart(in[0].re, in[1].re, in[2].re, in[3].re, in[4].re);
            const Dft5Part im = Dft5OnePart(in[0].im, in[1].im, in[2].im, in[3].im, in[4].im);
            const Complex4 out[5] = {
                {re.sum, im.sum},
                {re.s2 + im.odd1, im.s2 - re.odd1},
                {re.s4 + im.odd2, im.s4 - re.odd2},
                {re.s4 - im.odd2, im.s4 + re.odd2},
                {re.s2 - im.odd1, im.s2 + re.odd1},
            };
            Store(x, block + j, out[0]);
            for (int r = 1; r < 5; ++r)
                Store(x, block + j + kStride * r, Multiply(out[r], TwiddlesAt(w.radix5[r - 1], kStride, j)));
        }
    }
}

// 4-point forward DFT of (b0, b1, b2, b3) into out[0 ... 3].
void Dft4(Complex4 b0, Complex4 b1, Complex4 b2, Complex4 b3, Complex4* out) {
    const Complex4 u0 = Add(b0, b2);
    const Complex4 u1 = Subtract(b0, b2);
    const Complex4 u2 = Add(b1, b3);
    const Complex4 u3 = Subtract(b1, b3);
    out[0] = Add(u0, u2);
    out[1] = {u1.re + u3.im, u1.im - u3.re};
    out[2] = Subtract(u0, u2);
    out[3] = {u1.re - u3.im, u1.im + u3.re};
}

// The 16-point DFT's internal twiddles W16^(n2 k1) for k1 = 1 ... 3, lanes
// n2 = 0 ... 3. Lane 0 (W16^0) is not multiplied, nor is W16^4 (n2 = k1 = 2),
// which is a multiplication by -i; their entries here are placeholders.
constexpr float kCos22 = 0.9238795042037964f;
constexpr float kSin22 = 0.3826834261417389f;
constexpr float kCos45 = 0.7071067690849304f;
const Complex4 kSixteenthRoots[3] = {
    {{1.0f, kCos22, kCos45, kSin22}, {0.0f, -kSin22, -kCos45, -kCos22}},     // W16^0, 1, 2, 3
    {{1.0f, kCos45, 1.0f, -kCos45}, {0.0f, -kCos45, 0.0f, -kCos45}},         // W16^0, 2, (4), 6
    {{1.0f, kSin22, -kCos45, -kCos22}, {0.0f, -kCos22, -kCos45, kSin22}},    // W16^0, 3, 6, 9
};
const Int4 kFirstLane = {-1, 0, 0, 0};
const Int4 kThirdLane = {0, 0, -1, 0};

// The 4 x 4 transposition of four rows of lanes.
void Transpose(Float4* rows) {
    const Float4 a = __builtin_shufflevector(rows[0], rows[1], 0, 4, 1, 5);
    const Float4 b = __builtin_shufflevector(rows[2], rows[3], 0, 4, 1, 5);
    const Float4 c = __builtin_shufflevector(rows[0], rows[1], 2, 6, 3, 7);
    const Float4 d = __builtin_shufflevector(rows[2], rows[3], 2, 6, 3, 7);
    rows[0] = __builtin_shufflevector(a, b, 0, 1, 4, 5);
    rows[1] = __builtin_shufflevector(a, b, 2, 3, 6, 7);
    rows[2] = __builtin_shufflevector(c, d, 0, 1, 4, 5);
    rows[3] = __builtin_shufflevector(c, d, 2, 3, 6, 7);
}

// 16-point DFT of in[0 ... 15] as 4 x 4: DFTs down the columns n2 (lanes),
// twiddles, then, transposed, DFTs across. Output r goes to
// spectrum[base + 30 r].
void Dft16(const float* x, int first, float* spectrum, int base) {
    Complex4 y[4];  // y[k1], lanes n2
    Dft4(Load(x, first), Load(x, first + 4), Load(x, first + 8), Load(x, first + 12), y);
    for (int k1 = 1; k1 < 4; ++k1) {
        const Complex4 product = Multiply(y[k1], kSixteenthRoots[k1 - 1]);
        Complex4 twiddled = {kFirstLane ? y[k1].re : product.re, kFirstLane ? y[k1].im : product.im};
        if (k1 == 2) twiddled = {kThirdLane ? y[k1].im : twiddled.re, kThirdLane ? -y[k1].re : twiddled.im};
        y[k1] = twiddled;
    }
    Float4 re[4] = {y[0].re, y[1].re, y[2].re, y[3].re};
    Float4 im[4] = {y[0].im, y[1].im, y[2].im, y[3].im};
    Transpose(re);
    Transpose(im);
    Complex4 z[4];  // z[k2], lanes k1
    Dft4({re[0], im[0]}, {re[1], im[1]}, {re[2], im[2]}, {re[3], im[3]}, z);
    constexpr int kOutputStride = kPoints / 16;
    for (int k2 = 0; k2 < 4; ++k2)
        for (int k1 = 0; k1 < 4; ++k1) {
            const int at = base + kOutputStride * (k1 + 4 * k2);
            spectrum[at] = z[k2].re[k1];
            spectrum[kPoints + at] = z[k2].im[k1];
        }
}

void Radix16Stage(const float* x, float* spectrum) {
    for (int b = 0; b < kPoints / 16; ++b) {
        // Block b holds the outputs k = k1 + 2 k2 + 6 k3 (mod 30) of the earlier stages.
        const int base = b / 15 + 2 * (b / 5 % 3) + 6 * (b % 5);
        Dft16(x, 16 * b, spectrum, base);
    }
}

}  // namespace

void Fft480Split(float* work, float* spectrum) {
    const StageTwiddles& w = Twiddles();
    Radix2Stage(work, w);
    Radix3Stage(work, w);
    Radix5Stage(work, w);
    Radix16Stage(work, spectrum);
}

void Fft480(float* data, float* output) {
    float spectrum[2 * kPoints];
    for (int k = 0; k < kPoints; k += 4) {
        StoreFloat4(spectrum + k, LoadEven(data + 2 * k));
        StoreFloat4(spectrum + kPoints + k, LoadOdd(data + 2 * k));
    }
    // The pairs split into real and imaginary parts become the work space.
    for (int k = 0; k < 2 * kPoints; k += 4) StoreFloat4(data + k, LoadFloat4(spectrum + k));
    Fft480Split(data, spectrum);
    for (int k = 0; k < kPoints; k += 4)
        StoreInterleaved(output + 2 * k, LoadFloat4(spectrum + k), LoadFloat4(spectrum + kPoints + k));
}
