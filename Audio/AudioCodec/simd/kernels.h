// The lane kernels' declarations and dispatch. A kernel's body
// (kernels/kernel_list.h lists them) opens with DREMKO_KERNEL_ENTRY, which
// declares the kernel once in every set's namespace; each kernels/ set file
// compiles every body into its namespace; a caller includes the body's file
// and calls the kernel with DREMKO_KERNEL.
#pragma once
// The standard headers the lane helpers use, so that nothing with outside
// linkage is first seen under a set's target (see KERNEL_TARGET_BEGIN).
#include <cstdint>
#include <cstring>

#include "simd/instruction_set.h"

// The most outputs the decimator's filter kernel sums at once, in any set:
// its callers pad the phases with that many zeros and the sums by as many
// entries.
constexpr int32_t kDecimatorMaxGroup = 80;

#define DREMKO_DECLARE_IN_SET(set, stem, name, kernel, signature) \
    namespace stem##_kernels {                                    \
    using kernel##Signature = signature;                          \
    kernel##Signature kernel;                                     \
    }

// The kernel `name` with its function type `signature`, then a description of
// each argument for the kernel tests (tests/kernel_check.cpp reads them; code
// built from a body's file ignores them).
#ifndef DREMKO_KERNEL_ENTRY
#define DREMKO_KERNEL_ENTRY(name, signature, ...) \
    DREMKO_INSTRUCTION_SETS(DREMKO_DECLARE_IN_SET, name, signature)
#endif

#define DREMKO_KERNEL_CASE(set, stem, name, kernel, arguments) \
    case InstructionSet::set:                                  \
        stem##_kernels::kernel arguments;                      \
        break;

// Calls the kernel `name` of the active instruction set with the arguments
// that follow: a switch at each call, so that every call is a direct one.
#define DREMKO_KERNEL(name, ...)                                                       \
    do {                                                                               \
        switch (ActiveInstructionSet()) {                                              \
            DREMKO_INSTRUCTION_SETS(DREMKO_KERNEL_CASE, name, (__VA_ARGS__))           \
        }                                                                              \
    } while (false)
