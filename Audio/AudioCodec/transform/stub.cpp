// Temporary stand-in until the transform lands; delete when it does.
#include <cstring>
#include "transform/transform.h"
const float SineWindow[960] = {};
const float FftTwiddle[960] = {};
void InitDct4Tables() {}
void Dct4(const float*, float* output, int) { std::memset(output, 0, 960 * sizeof(float)); }
void Fft480(float*, float* output) { std::memset(output, 0, 960 * sizeof(float)); }
void MdctAnalysis(int16_t* history, float* coefficients) {
    std::memset(coefficients, 0, 960 * sizeof(float));
    std::memmove(history, history + 960, 960 * sizeof(int16_t));
}
void MdctSynthesis(const float*, float*, float* output, int) { std::memset(output, 0, 960 * sizeof(float)); }
