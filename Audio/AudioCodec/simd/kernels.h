// The lane kernels, compiled once per instruction set (simd/kernels_*.cpp
// include their bodies, the *.inc files next to their callers). The callers
// pick a set with DREMKO_KERNEL.
#pragma once
#include <cstdint>

#include "simd/instruction_set.h"

// The most outputs the decimator's filter kernel sums at once, in any set:
// its callers pad the phases with that many zeros and the sums by as many
// entries.
constexpr int32_t kDecimatorMaxGroup = 80;

namespace baseline_kernels {
#include "simd/kernel_list.inc"
}  // namespace baseline_kernels

namespace avx2_kernels {
#include "simd/kernel_list.inc"
}  // namespace avx2_kernels

namespace avx512_kernels {
#include "simd/kernel_list.inc"
}  // namespace avx512_kernels

// Calls the kernel `name` of the active instruction set with the arguments
// that follow: a switch at each call, so that every call is a direct one.
#define DREMKO_KERNEL(name, ...)                     \
    do {                                             \
        switch (ActiveInstructionSet()) {            \
            case InstructionSet::kAvx512:            \
                avx512_kernels::name(__VA_ARGS__);   \
                break;                               \
            case InstructionSet::kAvx2:              \
                avx2_kernels::name(__VA_ARGS__);     \
                break;                               \
            case InstructionSet::kBaseline:          \
                baseline_kernels::name(__VA_ARGS__); \
                break;                               \
        }                                            \
    } while (false)
