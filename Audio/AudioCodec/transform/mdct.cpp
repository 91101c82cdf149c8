// Sine-window MDCT of 960 coefficients: the kernels for this processor's
// instruction set.
#include "transform/mdct.inc"
#include "transform/transform.h"

void MdctAnalysis(int16_t* history, float* coefficients) {
    DREMKO_KERNEL(MdctAnalysis, history, coefficients);
}

// The length is always 960.
void MdctSynthesis(const float* coefficients, float* overlap, float* output, int /*length*/) {
    DREMKO_KERNEL(MdctSynthesis, coefficients, overlap, output);
}
