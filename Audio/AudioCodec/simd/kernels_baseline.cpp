// The lane kernels for every processor the library builds for.
#include <cstdint>
#include <cstring>

#include "core/core_tables.h"
#include "simd/kernels.h"
#include "simd/lanes.h"
#include "speech/real_fft256.h"
#include "stereo/stereo_analysis.h"
#include "stereo/stereo_tables.h"
#include "transform/transform.h"

#define KERNEL_SET baseline_kernels
#define KERNEL_SUM_LANES 2
#define KERNEL_SUM_REGISTERS 8
#define KERNEL_WIDEN_SUMS(v) __builtin_convertvector((v), Doubles)
#include "simd/kernel_bodies.inc"
