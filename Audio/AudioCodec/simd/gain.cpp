#include "simd/gain.h"

#include <cstdint>

#include "simd/instruction_set.h"
#include "simd/kernels.h"

void ApplyGain(float* values, int count, double gain) {
    DREMKO_KERNEL(ApplyGain, values, count, gain);
}
