// Four float lanes for loops whose elements are independent of each other.
// Each helper acts on every lane on its own exactly as the scalar code
// would: products and sums are formed in double precision and rounded to
// float once, when stored (a set file may form them otherwise where that
// rounds alike: DREMKO_MULTIPLY_ADD, KERNEL_FLOAT_PRODUCTS). A loop written
// with lanes therefore gives the scalar loop's results bit for bit, on any
// instruction set.
#pragma once
#include <cstdint>
#include <cstring>

using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

// The helpers are private to each file that includes them, so a file
// compiled for a wider instruction set never lends its copy to another.
namespace {

namespace lanes_detail {
// Double lanes live only inside the helpers below, never in an interface.
using Double4 = double __attribute__((vector_size(32)));
// Eight 16-bit lanes and two 64-bit lanes over one 16-byte register: the
// sample helpers move four samples as one 64-bit lane.
using Short8 = int16_t __attribute__((vector_size(16)));
using Long2 = long long __attribute__((vector_size(16)));
}  // namespace lanes_detail

// Conversions to double lanes are written out inside each helper: a function
// returning Double4 would draw warnings about passing it without AVX. A file
// compiled for AVX may name its own conversion instruction first. The macros
// stay defined for the helpers of transform/wide_products.h.
#ifndef DREMKO_WIDEN
#define DREMKO_WIDEN(v) __builtin_convertvector((v), lanes_detail::Double4)
#endif
// x * y + a in double lanes, where x and y hold float values: their product is
// exact in double, so a set file's fused multiply-add rounds once, as the
// product and sum written apart do.
#ifndef DREMKO_MULTIPLY_ADD
#define DREMKO_MULTIPLY_ADD(x, y, a) ((x) * (y) + (a))
#endif
// a * b in float lanes, rounded once. The exact product of two floats fits in
// double, and rounding it to float gives the correctly rounded float product,
// so a set file that defines KERNEL_FLOAT_PRODUCTS has it multiplied in float.
#if defined(KERNEL_FLOAT_PRODUCTS)
#define DREMKO_FLOAT_PRODUCT(a, b) ((a) * (b))
#else
#define DREMKO_FLOAT_PRODUCT(a, b) __builtin_convertvector(DREMKO_WIDEN(a) * DREMKO_WIDEN(b), Float4)
#endif

// Loads and stores.

inline Float4 LoadFloat4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreFloat4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

inline Int4 LoadInt4(const int32_t* p) {
    Int4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Four 16-bit samples, exactly, as floats. Each sample is doubled into both
// halves of a 32-bit lane and shifted down with its sign: compilers turn a
// direct conversion of four 16-bit lanes into four scalar conversions.
inline Float4 LoadSamples(const int16_t* p) {
    long long four;
    std::memcpy(&four, p, sizeof four);
    const lanes_detail::Short8 v = reinterpret_cast<lanes_detail::Short8>(lanes_detail::Long2{four, 0});
    const Int4 doubled = reinterpret_cast<Int4>(__builtin_shufflevector(v, v, 0, 0, 1, 1, 2, 2, 3, 3));
    return __builtin_convertvector(doubled >> 16, Float4);
}

// The 4 x 4 transposition of four rows of lanes, in place.
inline void Transpose4(Float4* rows) {
    const Float4 a = __builtin_shufflevector(rows[0], rows[1], 0, 4, 1, 5);
    const Float4 b = __builtin_shufflevector(rows[2], rows[3], 0, 4, 1, 5);
    const Float4 c = __builtin_shufflevector(rows[0], rows[1], 2, 6, 3, 7);
    const Float4 d = __builtin_shufflevector(rows[2], rows[3], 2, 6, 3, 7);
    rows[0] = __builtin_shufflevector(a, b, 0, 1, 4, 5);
    rows[1] = __builtin_shufflevector(a, b, 2, 3, 6, 7);
    rows[2] = __builtin_shufflevector(c, d, 0, 1, 4, 5);
    rows[3] = __builtin_shufflevector(c, d, 2, 3, 6, 7);
}

// The lanes in the opposite order.
inline Float4 Reverse(Float4 v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

// p[0], p[2], p[4], p[6], and p[1], p[3], p[5], p[7].
inline Float4 LoadEven(const float* p) { return __builtin_shufflevector(LoadFloat4(p), LoadFloat4(p + 4), 0, 2, 4, 6); }
inline Float4 LoadOdd(const float* p) { return __builtin_shufflevector(LoadFloat4(p), LoadFloat4(p + 4), 1, 3, 5, 7); }

// p[0 ... 7] = even[0], odd[0], even[1], odd[1], ...
inline void StoreInterleaved(float* p, Float4 even, Float4 odd) {
    StoreFloat4(p, __builtin_shufflevector(even, odd, 0, 4, 1, 5));
    StoreFloat4(p + 4, __builtin_shufflevector(even, odd, 2, 6, 3, 7));
}

// Arithmetic, each result rounded to float once.

// factor * x.
inline Float4 Scale(double factor, Float4 x) {
    return __builtin_convertvector(factor * DREMKO_WIDEN(x), Float4);
}

// a * b.
inline Float4 Product(Float4 a, Float4 b) { return DREMKO_FLOAT_PRODUCT(a, b); }

// factor * x with a float factor: one product of two floats, as Product.
inline Float4 ScaleByFloat(float factor, Float4 x) { return Product(Float4{factor, factor, factor, factor}, x); }

// (a + b) + (c + d) and (a + b) - (c + d).
inline Float4 SumOfSums(Float4 a, Float4 b, Float4 c, Float4 d) {
    return __builtin_convertvector((DREMKO_WIDEN(a) + DREMKO_WIDEN(b)) + (DREMKO_WIDEN(c) + DREMKO_WIDEN(d)), Float4);
}
inline Float4 DifferenceOfSums(Float4 a, Float4 b, Float4 c, Float4 d) {
    return __builtin_convertvector((DREMKO_WIDEN(a) + DREMKO_WIDEN(b)) - (DREMKO_WIDEN(c) + DREMKO_WIDEN(d)), Float4);
}

// a + factor * x.
inline Float4 AddScaled(Float4 a, float factor, Float4 x) {
    const lanes_detail::Double4 f = {factor, factor, factor, factor};
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(f, DREMKO_WIDEN(x), DREMKO_WIDEN(a)), Float4);
}

// factor * (a + b) and factor * (a - b), the sum or difference in double.
inline Float4 ScaledSum(double factor, Float4 a, Float4 b) {
    return __builtin_convertvector(factor * (DREMKO_WIDEN(a) + DREMKO_WIDEN(b)), Float4);
}
inline Float4 ScaledDifference(double factor, Float4 a, Float4 b) {
    return __builtin_convertvector(factor * (DREMKO_WIDEN(a) - DREMKO_WIDEN(b)), Float4);
}

// (a + x * y) + u * v.
inline Float4 SumOfThree(Float4 a, Float4 x, Float4 y, Float4 u, Float4 v) {
    return __builtin_convertvector(
        DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(u), DREMKO_WIDEN(v), DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(x), DREMKO_WIDEN(y), DREMKO_WIDEN(a))),
        Float4);
}

// a + x * y.
inline Float4 AddProduct(Float4 a, Float4 x, Float4 y) {
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(x), DREMKO_WIDEN(y), DREMKO_WIDEN(a)), Float4);
}

// a * b + c * d.
inline Float4 SumOfProducts(Float4 a, Float4 b, Float4 c, Float4 d) {
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(a), DREMKO_WIDEN(b), DREMKO_WIDEN(c) * DREMKO_WIDEN(d)),
                                   Float4);
}

// a * b - c * d.
inline Float4 DifferenceOfProducts(Float4 a, Float4 b, Float4 c, Float4 d) {
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(a), DREMKO_WIDEN(b), -(DREMKO_WIDEN(c) * DREMKO_WIDEN(d))),
                                   Float4);
}

}  // namespace
