// The lane kernels, compiled once per instruction set (simd/kernels_*.cpp
// include their bodies, the *.inc files next to their callers). The callers
// pick a set with ActiveInstructionSet().
#pragma once
#include <cstdint>

namespace baseline_kernels {
#include "simd/kernel_list.inc"
}  // namespace baseline_kernels

namespace avx2_kernels {
#include "simd/kernel_list.inc"
}  // namespace avx2_kernels
