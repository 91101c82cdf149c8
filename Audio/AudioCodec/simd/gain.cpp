#include "simd/gain.h"

#include <cstdint>

#include "simd/gain.inc"

void ApplyGain(float* values, int count, double gain) {
    DREMKO_KERNEL(ApplyGain, values, count, gain);
}
