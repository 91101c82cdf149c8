// Region powers of one frame, their envelope codes, the frame level and the
// split between base and extension layer.
#pragma once
#include <cstdint>

#include "core/core_encoder.h"
#include "core/core_tables.h"

struct RegionEnvelope {
    int32_t power[kRegions];        // power index p(r): region 0 -6 ... 24, others -15 ... 24
    uint16_t code[kRegions];        // region 0: p(0) + 7; others: code of the difference to r - 1
    uint8_t code_length[kRegions];  // region 0: 5
};

// Power index -24 ... 39 of a region's mean square: the number of power
// boundaries at or below it, less 24.
int32_t PowerIndex(float mean_square);

// Fills the envelope, the state's envelope bit counts and split_index, and
// the frame level (0 ... 127) from coefficients 0 ... 879.
void ComputeRegionPowers(const float* coefficients, CoreEncoderState* state, RegionEnvelope* envelope,
                         int32_t* frame_level);
