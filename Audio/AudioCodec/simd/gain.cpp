#include "simd/gain.h"

#include <cstdint>

#include "simd/instruction_set.h"
#include "simd/kernels.h"

void ApplyGain(float* values, int count, double gain) {
    if (ActiveInstructionSet() == InstructionSet::kAvx2)
        avx2_kernels::ApplyGain(values, count, gain);
    else
        baseline_kernels::ApplyGain(values, count, gain);
}
