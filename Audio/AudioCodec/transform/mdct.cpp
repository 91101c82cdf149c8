// Sine-window MDCT of 960 coefficients: the kernels for this processor's
// instruction set.
#include "simd/instruction_set.h"
#include "simd/kernels.h"
#include "transform/transform.h"

void MdctAnalysis(int16_t* history, float* coefficients) {
    if (ActiveInstructionSet() == InstructionSet::kAvx2)
        avx2_kernels::MdctAnalysis(history, coefficients);
    else
        baseline_kernels::MdctAnalysis(history, coefficients);
}

// The length is always 960.
void MdctSynthesis(const float* coefficients, float* overlap, float* output, int /*length*/) {
    if (ActiveInstructionSet() == InstructionSet::kAvx2)
        avx2_kernels::MdctSynthesis(coefficients, overlap, output);
    else
        baseline_kernels::MdctSynthesis(coefficients, overlap, output);
}
