// Forward 480-point DFT by decimation in frequency over 480 = 2 * 3 * 5 * 16.
// The order of every operation is fixed, so that all builds produce the same
// bits: stages 2, 3 and 5 run in place with a twiddle product after each
// butterfly; the 16-point stage writes to the output in natural order.
#include "transform/float_arithmetic.h"
#include "transform/transform.h"

namespace {

constexpr int kPoints = 480;

// W^m = e^(-2 pi i m / 480).
Complex Twiddle(int m) { return LoadComplex(FftTwiddle, m); }

void Radix2Stage(float* x) {
    constexpr int kStride = kPoints / 2;
    for (int j = 0; j < kStride; ++j) {
        const Complex a = LoadComplex(x, j);
        const Complex b = LoadComplex(x, j + kStride);
        StoreComplex(x, j, Add(a, b));
        StoreComplex(x, j + kStride, Multiply(Subtract(a, b), Twiddle(j)));
    }
}

void Radix3Stage(float* x) {
    constexpr int kBlock = kPoints / 2;
    constexpr int kStride = kBlock / 3;
    constexpr double kMinusSin60 = -0.8660253882408142;
    for (int block = 0; block < kPoints; block += kBlock) {
        for (int j = 0; j < kStride; ++j) {
            const int i0 = block + j;
            const Complex x0 = LoadComplex(x, i0);
            const Complex x1 = LoadComplex(x, i0 + kStride);
            const Complex x2 = LoadComplex(x, i0 + 2 * kStride);
            const Complex t = Add(x1, x2);
            const Complex y0 = Add(x0, t);
            const Complex m = {AddScaled(y0.re, -1.5, t.re), AddScaled(y0.im, -1.5, t.im)};
            const Complex d = Subtract(x1, x2);
            const Complex s = {Scale(kMinusSin60, d.re), Scale(kMinusSin60, d.im)};
            const Complex p = {m.re - s.im, m.im + s.re};
            const Complex q = {m.re + s.im, m.im - s.re};
            StoreComplex(x, i0, y0);
            StoreComplex(x, i0 + kStride, Multiply(p, Twiddle(2 * j)));
            StoreComplex(x, i0 + 2 * kStride, Multiply(q, Twiddle(4 * j)));
        }
    }
}

// One part (real or imaginary) of the Winograd 5-point DFT: output 0 and the
// sums from which outputs 1 to 4 are assembled.
struct Dft5Part {
    float sum;   // output 0
    float s2;    // shared by outputs 1 and 4
    float s4;    // shared by outputs 2 and 3
    float odd1;  // sine sum of outputs 1 and 4
    float odd2;  // sine sum of outputs 2 and 3
};

Dft5Part Dft5OnePart(float x0, float x1, float x2, float x3, float x4) {
    const float t1 = x1 + x4;
    const float t2 = x2 + x3;
    const float t3 = x1 - x4;
    const float t4 = x2 - x3;
    const float t5 = t1 + t2;
    Dft5Part part;
    part.sum = x0 + t5;
    const float s1 = AddScaled(part.sum, -1.25, t5);
    const float m2 = Scale(0.55901700258255, t1 - t2);
    part.s2 = s1 + m2;
    part.s4 = s1 - m2;
    const float m3 = Scale(0.5877852439880371, t3 + t4);
    part.odd1 = AddScaled(m3, 0.3632712662220001, t3);
    part.odd2 = AddScaled(m3, -1.538841724395752, t4);
    return part;
}

void Radix5Stage(float* x) {
    constexpr int kBlock = kPoints / 6;
    constexpr int kStride = kBlock / 5;
    for (int block = 0; block < kPoints; block += kBlock) {
        for (int j = 0; j < kStride; ++j) {
            Complex in[5];
            for (int r = 0; r < 5; ++r) in[r] = LoadComplex(x, block + j + kStride * r);
            const Dft5Part re = Dft5OnePart(in[0].re, in[1].re, in[2].re, in[3].re, in[4].re);
            const Dft5Part im = Dft5OnePart(in[0].im, in[1].im, in[2].im, in[3].im, in[4].im);
            const Complex out[5] = {
                {re.sum, im.sum},
                {re.s2 + im.odd1, im.s2 - re.odd1},
                {re.s4 + im.odd2, im.s4 - re.odd2},
                {re.s4 - im.odd2, im.s4 + re.odd2},
                {re.s2 - im.odd1, im.s2 + re.odd1},
            };
            StoreComplex(x, block + j, out[0]);
            for (int r = 1; r < 5; ++r) StoreComplex(x, block + j + kStride * r, Multiply(out[r], Twiddle(6 * j * r)));
        }
    }
}

// 4-point forward DFT of (b0, b1, b2, b3) into out[0 ... 3].
void Dft4(Complex b0, Complex b1, Complex b2, Complex b3, Complex* out) {
    const Complex u0 = Add(b0, b2);
    const Complex u1 = Subtract(b0, b2);
    const Complex u2 = Add(b1, b3);
    const Complex u3 = Subtract(b1, b3);
    out[0] = Add(u0, u2);
    out[1] = {u1.re + u3.im, u1.im - u3.re};
    out[2] = Subtract(u0, u2);
    out[3] = {u1.re - u3.im, u1.im + u3.re};
}

// e^(-2 pi i m / 16) for the exponents the 16-point DFT multiplies by (all but 4).
Complex SixteenthRoot(int m) {
    constexpr float kCos22 = 0.9238795042037964f;
    constexpr float kSin22 = 0.3826834261417389f;
    constexpr float kCos45 = 0.7071067690849304f;
    switch (m) {
        case 1: return {kCos22, -kSin22};
        case 2: return {kCos45, -kCos45};
        case 3: return {kSin22, -kCos22};
        case 6: return {-kCos45, -kCos45};
        default: return {-kCos22, kSin22};  // m = 9
    }
}

// 16-point DFT as 4 x 4: DFTs down the columns n2, twiddles, DFTs across.
void Dft16(const float* in, float* output, int base) {
    constexpr int kOutputStride = kPoints / 16;
    Complex y[4][4];
    for (int n2 = 0; n2 < 4; ++n2)
        Dft4(LoadComplex(in, n2), LoadComplex(in, n2 + 4), LoadComplex(in, n2 + 8), LoadComplex(in, n2 + 12), y[n2]);
    for (int n2 = 1; n2 < 4; ++n2) {
        for (int k1 = 1; k1 < 4; ++k1) {
            const int m = n2 * k1;
            const Complex v = y[n2][k1];
            y[n2][k1] = m == 4 ? Complex{v.im, -v.re} : Multiply(v, SixteenthRoot(m));
        }
    }
    for (int k1 = 0; k1 < 4; ++k1) {
        Complex z[4];
        Dft4(y[0][k1], y[1][k1], y[2][k1], y[3][k1], z);
        for (int k2 = 0; k2 < 4; ++k2) StoreComplex(output, base + kOutputStride * (k1 + 4 * k2), z[k2]);
    }
}

void Radix16Stage(const float* x, float* output) {
    for (int b = 0; b < kPoints / 16; ++b) {
        // Block b holds the outputs k = k1 + 2 k2 + 6 k3 (mod 30) of the earlier stages.
        const int base = b / 15 + 2 * (b / 5 % 3) + 6 * (b % 5);
        Dft16(x + 2 * 16 * b, output, base);
    }
}

}  // namespace

void Fft480(float* data, float* output) {
    Radix2Stage(data);
    Radix3Stage(data);
    Radix5Stage(data);
    Radix16Stage(data, output);
}
