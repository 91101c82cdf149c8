// The lane kernels for processors with AVX2, which run four double lanes per
// instruction; the library calls them only on processors that have it
// (simd/instruction_set.h). Everything with outside linkage is included
// first, so that only the kernels and the lane helpers (private to this
// file) are compiled for AVX2.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "core/core_tables.h"
#include "simd/kernels.h"
#include "speech/real_fft256.h"
#include "stereo/stereo_analysis.h"
#include "stereo/stereo_tables.h"
#include "transform/transform.h"

#if defined(__x86_64__) || defined(__i386__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC target("avx2")
#endif
#endif

// GCC widens four floats in two halves unless told the one instruction.
#if defined(__x86_64__) || defined(__i386__)
#define DREMKO_WIDEN(v) _mm256_cvtps_pd(v)
#define KERNEL_WIDEN_SUMS(v) _mm256_cvtps_pd(v)
#else
#define KERNEL_WIDEN_SUMS(v) __builtin_convertvector((v), Doubles)
#endif
#include "simd/lanes.h"

#define KERNEL_SET avx2_kernels
#define KERNEL_SUM_LANES 4
#define KERNEL_SUM_REGISTERS 8
#include "simd/kernel_bodies.inc"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__clang__)
#pragma clang attribute pop
#endif
