// A gain applied to a block of floats, with the kernel for this processor's
// instruction set.
#pragma once

// values[i] = gain * values[i], each product formed in double and rounded to
// float once; count is a multiple of 4.
void ApplyGain(float* values, int count, double gain);
