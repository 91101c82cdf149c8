// The AVX2 set, four double lanes per instruction, with FMA's fused
// multiply-adds; the library calls it only on processors that have both
// (simd/instruction_set.h).
#include "simd/instruction_set.h"

#if defined(DREMKO_KERNELS_X86)
#include <immintrin.h>

#define KERNEL_SET avx2_kernels
#if defined(__clang__)
#define KERNEL_TARGET_BEGIN _Pragma("clang attribute push(__attribute__((target(\"avx2,fma\"))), apply_to = function)")
#define KERNEL_TARGET_END _Pragma("clang attribute pop")
#else
#define KERNEL_TARGET_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,fma\")")
#define KERNEL_TARGET_END _Pragma("GCC pop_options")
#endif
// GCC widens four floats in two halves unless told the one instruction.
#define DREMKO_WIDEN(v) _mm256_cvtps_pd(v)
#define DREMKO_MULTIPLY_ADD(x, y, a) _mm256_fmadd_pd((x), (y), (a))
// Four 16-bit samples to double without the conversion unit, which the
// transform's widenings and narrowings keep busy: each sample's bits, its
// sign bit flipped (the sample plus 2^15), are placed below the bits of 2^52,
// giving 2^52 + 2^15 plus the sample, from which 2^52 + 2^15 is then taken,
// both exactly. A byte shuffle places them, in either order.
#define DREMKO_SAMPLES_IN_ORDER(p, order)                                                        \
    (_mm256_castsi256_pd(_mm256_xor_si256(                                                        \
         _mm256_shuffle_epi8(_mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))), \
                             order),                                                              \
         _mm256_set1_epi64x(0x4330000000008000))) -                                               \
     _mm256_set1_pd(4503599627403264.0))
#define DREMKO_WIDEN_SAMPLES(p)                                                                   \
    DREMKO_SAMPLES_IN_ORDER(p, _mm256_setr_epi8(0, 1, -1, -1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, -1, -1, \
                                                4, 5, -1, -1, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1))
#define DREMKO_WIDEN_SAMPLES_BACKWARD(p)                                                          \
    DREMKO_SAMPLES_IN_ORDER(p, _mm256_setr_epi8(6, 7, -1, -1, -1, -1, -1, -1, 4, 5, -1, -1, -1, -1, -1, -1, \
                                                2, 3, -1, -1, -1, -1, -1, -1, 0, 1, -1, -1, -1, -1, -1, -1))
// Eight float lanes per register where a kernel's work allows (the FFT's
// 16-point stage).
#define KERNEL_FLOAT_LANES 8
#define KERNEL_WIDEN_SUMS(v) _mm256_cvtps_pd(v)
// Ten registers of sums: with the fused multiply-add each tap is bound by
// its two conversions, and ten chains cover their latency (eight took 28 %
// longer).
#define KERNEL_SUM_LANES 4
#define KERNEL_SUM_MULTIPLY_ADD(a, b, c) _mm256_fmadd_pd((a), _mm256_set1_pd(b), (c))
#define KERNEL_SUM_REGISTERS 10
// A product of two floats is exact in double, so a kernel may form it as a
// float product, eight lanes to a register.
#define KERNEL_FLOAT_PRODUCTS 1
// A fused multiply-add of float lanes, for the sums that round alike in float
// (the FFT's radix-3 and radix-5 constant sums).
#define DREMKO_FLOAT_MULTIPLY_ADD(x, y, a) _mm_fmadd_ps((x), (y), (a))
#include "kernels/kernel_list.h"
#endif
