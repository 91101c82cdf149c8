// The rounding rules of the transform: values are stored as floats, while
// products and short sums are formed in double and rounded once when stored.
// Complex values are (re, im) pairs of floats in plain float arrays.
#pragma once

struct Complex {
    float re;
    float im;
};

inline Complex LoadComplex(const float* pairs, int index) { return {pairs[2 * index], pairs[2 * index + 1]}; }

inline void StoreComplex(float* pairs, int index, Complex value) {
    pairs[2 * index] = value.re;
    pairs[2 * index + 1] = value.im;
}

inline Complex Add(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
inline Complex Subtract(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }

// (a.re b.re - a.im b.im) + i (a.re b.im + a.im b.re), each part rounded once.
inline Complex Multiply(Complex a, Complex b) {
    return {static_cast<float>(static_cast<double>(a.re) * b.re - static_cast<double>(a.im) * b.im),
            static_cast<float>(static_cast<double>(a.re) * b.im + static_cast<double>(a.im) * b.re)};
}

// factor * x, rounded once.
inline float Scale(double factor, float x) { return static_cast<float>(factor * x); }

// a + factor * x, rounded once.
inline float AddScaled(float a, double factor, float x) { return static_cast<float>(a + factor * x); }
