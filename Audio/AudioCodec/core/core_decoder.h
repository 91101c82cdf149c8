// Core frame decoder: a received frame of any length to 960 coefficients.
#pragma once
#include <cstdint>

// Placeholder layout; the decoder's own fields replace it.
struct CoreDecoderState {
    int32_t frame_count;
};

// frame_bits: 8 x the bytes received. Returns 0.
int DecodeCoreFrame(CoreDecoderState* state, int frame_bits, const uint8_t* frame, float* coefficients);
