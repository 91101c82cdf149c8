// The AVX-512 set (F, VL, DQ and BW, with FMA), which the library calls only on
// processors that have it (simd/instruction_set.h). Only the decimator's
// running sums use 512-bit registers, eight double lanes each
// (KERNEL_SUM_LANES); everything else keeps the four-lane helpers, and GCC is
// told to prefer 256-bit vectors wherever it vectorises on its own, since
// some processors lower their clock while 512-bit work runs (Clang's target
// attribute has no such option: its builds may widen other loops).
#include "simd/instruction_set.h"

#if defined(DREMKO_KERNELS_X86)
#include <immintrin.h>

#define KERNEL_SET avx512_kernels
#if defined(__clang__)
#define KERNEL_TARGET_BEGIN \
    _Pragma("clang attribute push(__attribute__((target(\"avx512f,avx512vl,avx512dq,avx512bw,fma\"))), apply_to = function)")
#define KERNEL_TARGET_END _Pragma("clang attribute pop")
#else
#define KERNEL_TARGET_BEGIN \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f,avx512vl,avx512dq,avx512bw,fma,prefer-vector-width=256\")")
#define KERNEL_TARGET_END _Pragma("GCC pop_options")
#endif
// GCC widens floats in halves unless told the one instruction. The sums'
// widening is the zero-masked form with every lane kept: GCC 12 warns of an
// uninitialised value inside the plain intrinsic.
#define DREMKO_WIDEN(v) _mm256_cvtps_pd(v)
#define DREMKO_MULTIPLY_ADD(x, y, a) _mm256_fmadd_pd((x), (y), (a))
#define DREMKO_WIDEN_SAMPLES(p) \
    _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))))
// Eight float lanes per register where a kernel's work allows (the FFT's
// 16-point stage).
#define KERNEL_FLOAT_LANES 8
#define KERNEL_WIDEN_SUMS(v) _mm512_maskz_cvtps_pd(0xFF, v)
// Ten registers: a group of 80 outputs divides a 20 ms frame's 160, and the
// ten chains of sums cover the latency of each tap's multiply-add and two
// conversions (other counts measured: docs/performance.md).
#define KERNEL_SUM_LANES 8
#define KERNEL_SUM_MULTIPLY_ADD(a, b, c) _mm512_fmadd_pd((a), _mm512_set1_pd(b), (c))
#define KERNEL_SUM_REGISTERS 10
// A product of two floats is exact in double, so a kernel may form it as a
// float product, eight lanes to a register.
#define KERNEL_FLOAT_PRODUCTS 1
// A fused multiply-add of float lanes, for the sums that round alike in float
// (the FFT's radix-3 and radix-5 constant sums).
#define DREMKO_FLOAT_MULTIPLY_ADD(x, y, a) _mm_fmadd_ps((x), (y), (a))
#include "kernels/kernel_list.h"
#endif
