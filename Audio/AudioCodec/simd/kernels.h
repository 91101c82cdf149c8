// The lane kernels, compiled once per instruction set (simd/kernels_*.cpp
// include their bodies, the *.inc files next to their callers). The callers
// pick a set with ActiveInstructionSet().
#pragma once
#include <cstdint>

namespace baseline_kernels {
void Fft480Split(float* work, float* spectrum);
void Dct4(const float* input, float* output);
void MdctAnalysis(int16_t* history, float* coefficients);
void MdctSynthesis(const float* coefficients, float* overlap, float* output);
void DecimatorFilter(const double* phases, int32_t stride, const float* coefficients, int32_t taps, int32_t factor,
                     int32_t outputs, float* sums);
}  // namespace baseline_kernels

namespace avx2_kernels {
void Fft480Split(float* work, float* spectrum);
void Dct4(const float* input, float* output);
void MdctAnalysis(int16_t* history, float* coefficients);
void MdctSynthesis(const float* coefficients, float* overlap, float* output);
void DecimatorFilter(const double* phases, int32_t stride, const float* coefficients, int32_t taps, int32_t factor,
                     int32_t outputs, float* sums);
}  // namespace avx2_kernels
