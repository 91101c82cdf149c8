// Lane helpers for products whose second factors are kept in double
// precision (the transform's twiddles, widened once from their float
// values). Widening a float is exact, so each helper gives the bits
// of its simd/lanes.h namesake with the float factors, lane by lane, while
// only the other factors are converted.
#pragma once
#include <cstring>

#include "simd/lanes.h"

// Private to each file that includes it, as simd/lanes.h.
namespace {

namespace wide_products_detail {
using Double4 = double __attribute__((vector_size(32)));
}  // namespace wide_products_detail

// The widening of the other factors. With four double lanes to a register
// (KERNEL_SUM_LANES, set by the file that compiles the kernels), GCC emits
// one conversion for the lane-by-lane form, where a vector conversion would
// convert two halves; with two, the vector conversion is the better one.
// (A helper returning Double4 would draw warnings about passing it without
// AVX.)
#if defined(KERNEL_SUM_LANES) && KERNEL_SUM_LANES >= 4
#define WIDE_PRODUCTS_WIDEN(v) (wide_products_detail::Double4{(v)[0], (v)[1], (v)[2], (v)[3]})
#else
#define WIDE_PRODUCTS_WIDEN(v) __builtin_convertvector((v), wide_products_detail::Double4)
#endif

// a * b + c * d, with b[0 ... 3] and d[0 ... 3] as the second factors.
inline Float4 SumOfProducts(Float4 a, const double* b, Float4 c, const double* d) {
    wide_products_detail::Double4 wide_b, wide_d;
    std::memcpy(&wide_b, b, sizeof wide_b);
    std::memcpy(&wide_d, d, sizeof wide_d);
    return __builtin_convertvector(WIDE_PRODUCTS_WIDEN(a) * wide_b + WIDE_PRODUCTS_WIDEN(c) * wide_d, Float4);
}

// a * b - c * d, likewise.
inline Float4 DifferenceOfProducts(Float4 a, const double* b, Float4 c, const double* d) {
    wide_products_detail::Double4 wide_b, wide_d;
    std::memcpy(&wide_b, b, sizeof wide_b);
    std::memcpy(&wide_d, d, sizeof wide_d);
    return __builtin_convertvector(WIDE_PRODUCTS_WIDEN(a) * wide_b - WIDE_PRODUCTS_WIDEN(c) * wide_d, Float4);
}

#undef WIDE_PRODUCTS_WIDEN

}  // namespace
