// Core frame decoder: a received frame of any length to 960 coefficients.
#pragma once
#include <cstdint>

#include "core/core_tables.h"

// Per-channel state. Every field but frame_count is set by each call before
// it is read; the rest is kept for inspection of the last frame decoded.
struct CoreDecoderState {
    int32_t base_available;  // bits still available to the base layer
    int32_t ext_available;   // ... and to the extension layer
    int32_t base_budget;     // the base layer's categorisation budget
    int32_t ext_budget;
    int32_t split_index;
    int32_t base_control;    // categorisation control values (0 when not received)
    int32_t ext_control;
    int32_t power_index[kRegions];  // as decoded, unbounded in damaged frames
    float sigma[kRegions];          // region amplitudes
    int32_t base_category[kRegions];  // by region number, regions 0 ... 27
    int32_t ext_category[kRegions];   // by region number, regions 28 ... 43
    int32_t region_order[kRegions];  // sending order of each layer
    float noise_gain;
    int32_t frame_error;  // error value of the frame checks
    int32_t frame_count;
};

// frame_bits: 8 x the bytes received (held to whole bytes, 0 ... 1280).
// Reads no byte beyond them. Each coefficient comes out times `gain`, the
// product formed in double and rounded to float. Returns 0.
int DecodeCoreFrame(CoreDecoderState* state, int frame_bits, const uint8_t* frame, float* coefficients,
                    double gain = 1.0);
