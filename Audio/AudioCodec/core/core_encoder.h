// Core frame encoder: 960 MDCT coefficients to a 1280-bit embedded frame.
#pragma once
#include <cstdint>

struct CoreEncoderState {
    int32_t ext_envelope_bits;
    int32_t base_envelope_bits;
    int32_t split_index;   // -1 before the first frame
    int32_t frame_count;
};

// frame_level receives the frame's level, 0 ... 127. frame_bits: how many
// of the 1280 bits are kept, a whole number of 16-bit words; the output's
// later words are left as they were. Returns 0.
int EncodeCoreFrame(CoreEncoderState* state, int32_t* frame_level, int frame_bits,
                    const float* coefficients, uint8_t* output);
