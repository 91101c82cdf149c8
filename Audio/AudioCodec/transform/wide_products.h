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

// a * b + c * d, with b[0 ... 3] and d[0 ... 3] as the second factors.
inline Float4 SumOfProducts(Float4 a, const double* b, Float4 c, const double* d) {
    wide_products_detail::Double4 wide_b, wide_d;
    std::memcpy(&wide_b, b, sizeof wide_b);
    std::memcpy(&wide_d, d, sizeof wide_d);
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(a), wide_b, DREMKO_WIDEN(c) * wide_d), Float4);
}

// a * b - c * d, likewise.
inline Float4 DifferenceOfProducts(Float4 a, const double* b, Float4 c, const double* d) {
    wide_products_detail::Double4 wide_b, wide_d;
    std::memcpy(&wide_b, b, sizeof wide_b);
    std::memcpy(&wide_d, d, sizeof wide_d);
    return __builtin_convertvector(DREMKO_MULTIPLY_ADD(DREMKO_WIDEN(a), wide_b, -(DREMKO_WIDEN(c) * wide_d)), Float4);
}

}  // namespace
