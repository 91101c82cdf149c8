// The plain set: the kernels' C++ as the compiler builds it for the target's
// baseline, on every target. On AArch64 it is built without Advanced SIMD,
// so that the NEON set (kernels/arm/neon.cpp) has a plain twin to be tested
// and timed against; not in unoptimised builds, where GCC 12 crashes
// lowering the lanes without it.
#define KERNEL_SET plain_kernels
#if defined(__aarch64__) && defined(__clang__)
#define KERNEL_TARGET_BEGIN _Pragma("clang attribute push(__attribute__((target(\"no-neon\"))), apply_to = function)")
#define KERNEL_TARGET_END _Pragma("clang attribute pop")
#elif defined(__aarch64__) && defined(__GNUC__) && defined(__OPTIMIZE__)
#define KERNEL_TARGET_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"+nosimd\")")
#define KERNEL_TARGET_END _Pragma("GCC pop_options")
#else
#define KERNEL_TARGET_BEGIN
#define KERNEL_TARGET_END
#endif
#define KERNEL_SUM_LANES 2
#define KERNEL_SUM_REGISTERS 8
#include "kernels/kernel_list.h"
