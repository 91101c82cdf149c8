// Four float lanes for loops whose elements are independent of each other.
// Each helper acts on every lane on its own exactly as the scalar code
// would: products and sums are formed in double precision and rounded to
// float once, when stored. A loop written with lanes therefore gives the
// scalar loop's results bit for bit, on any instruction set.
#pragma once
#include <cstdint>
#include <cstring>

using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

namespace lanes_detail {
// Double lanes live only inside the helpers below, never in an interface.
using Double4 = double __attribute__((vector_size(32)));
}  // namespace lanes_detail

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

// p[0], p[stride], p[2 stride], p[3 stride].
inline Float4 GatherFloat4(const float* p, int stride) { return Float4{p[0], p[stride], p[2 * stride], p[3 * stride]}; }

// a + x * factor, rounded once.
inline Float4 AddScaled(Float4 a, double factor, Float4 x) {
    using lanes_detail::Double4;
    return __builtin_convertvector(__builtin_convertvector(a, Double4) + factor * __builtin_convertvector(x, Double4),
                                   Float4);
}

// a + x * y, rounded once.
inline Float4 AddProduct(Float4 a, Float4 x, Float4 y) {
    using lanes_detail::Double4;
    return __builtin_convertvector(__builtin_convertvector(a, Double4) +
                                       __builtin_convertvector(x, Double4) * __builtin_convertvector(y, Double4),
                                   Float4);
}

// factor * x, rounded once.
inline Float4 Scale(double factor, Float4 x) {
    using lanes_detail::Double4;
    return __builtin_convertvector(factor * __builtin_convertvector(x, Double4), Float4);
}

// trunc(|x| * scale + offset), all in double.
inline Int4 TruncateScaledMagnitude(Float4 x, double scale, double offset) {
    using lanes_detail::Double4;
    const Double4 wide = __builtin_convertvector(x, Double4);
    const Double4 magnitude = wide < 0.0 ? -wide : wide;
    return __builtin_convertvector(magnitude * scale + offset, Int4);
}
