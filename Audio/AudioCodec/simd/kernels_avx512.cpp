// The lane kernels for processors with AVX-512 (F, VL, DQ and BW), which the
// library calls only on processors that have it (simd/instruction_set.h).
// Only the decimator's running sums use 512-bit registers, eight double lanes
// each (KERNEL_SUM_LANES); everything else keeps the four-lane helpers, and
// GCC is told to prefer 256-bit vectors wherever it vectorises on its own,
// since some processors lower their clock while 512-bit work runs (Clang's
// target attribute has no such option: its builds may widen other loops).
// As in simd/kernels_avx2.cpp, everything with outside linkage is included
// first.
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
#pragma clang attribute push(__attribute__((target("avx512f,avx512vl,avx512dq,avx512bw"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC target("avx512f,avx512vl,avx512dq,avx512bw,prefer-vector-width=256")
#endif
#endif

// GCC widens floats in halves unless told the one instruction. The sums'
// widening is the zero-masked form with every lane kept: GCC 12 warns of an
// uninitialised value inside the plain intrinsic.
#if defined(__x86_64__) || defined(__i386__)
#define DREMKO_WIDEN(v) _mm256_cvtps_pd(v)
#define KERNEL_WIDEN_SUMS(v) _mm512_maskz_cvtps_pd(0xFF, v)
#else
#define KERNEL_WIDEN_SUMS(v) __builtin_convertvector((v), Doubles)
#endif
#include "simd/lanes.h"

#define KERNEL_SET avx512_kernels
// Ten registers: a group of 80 outputs divides a 20 ms frame's 160, and the
// ten chains of sums cover the latency of each tap's add and two
// conversions (other counts measured: docs/performance.md).
#define KERNEL_SUM_LANES 8
#define KERNEL_SUM_REGISTERS 10
#include "simd/kernel_bodies.inc"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__clang__)
#pragma clang attribute pop
#endif
