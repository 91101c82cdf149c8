// Core frame encoder: 960 MDCT coefficients to a 1280-bit embedded frame.
#pragma once
#include <cstdint>

struct CoreEncoderState {
    int32_t ext_envelope_bits;
    int32_t base_envelope_bits;
    int32_t split_index;   // -1 before the first frame
    int32_t frame_count;
};

// frame_level receives the frame's level, 0 ... 127. Returns 0.
int EncodeCoreFrame(CoreEncoderState* state, int32_t* frame_level, int frame_bits,
                    const float* coefficients, uint8_t* output);
