// Reduction of 32 kHz or 48 kHz input to the detector's 8 kHz rate by a
// symmetric low-pass FIR evaluated only at the kept output samples.
#pragma once
#include <array>
#include <cstdint>

constexpr int kDecimatorHistory = 1792;

struct DecimatorState {
    int16_t history[kDecimatorHistory];  // kept input (taps samples), then the current call's input
    const float* coefficients;
    int32_t taps;
    int32_t factor;
};

// 48 kHz to 8 kHz: 96 taps, factor 6. 32 kHz to 8 kHz: 64 taps, factor 4.
extern const std::array<float, 96> kDecimatorTaps48k;
extern const std::array<float, 64> kDecimatorTaps32k;

// Prepares the caller's state (there is no heap form: a null state is
// returned as null and nothing is created). Clears taps + 1280 history samples.
// The factor is 4 or 6, that of one of the two filters above.
DecimatorState* Decimator_Create(DecimatorState* state, const float* coefficients, int32_t taps, int32_t factor);
// Filters count input samples and writes count / factor output samples.
void Decimator_Process(DecimatorState* state, const int16_t* input, int32_t count, int16_t* output);
