// The NEON set: the kernels' lanes as Advanced SIMD registers, which every
// AArch64 processor has; the compiler turns the lane helpers' generic vectors
// into NEON instructions, with no intrinsics.
#include "simd/instruction_set.h"

#if defined(DREMKO_KERNELS_ARM)
#define KERNEL_SET neon_kernels
#define KERNEL_TARGET_BEGIN
#define KERNEL_TARGET_END
#define KERNEL_SUM_LANES 2
#define KERNEL_SUM_REGISTERS 8
#include "kernels/kernel_list.h"
#endif
