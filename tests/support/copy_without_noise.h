// A redundant copy decoded apart from the decoder under test, for telling
// whether that decoder rebuilt a lost frame from it.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/decoder_noise.h"
#include "interface/decoder_context.h"

// The coefficients of `copy` (the first bytes of its coding) that do not
// depend on the decoder's noise, NaN elsewhere: decoded from 32 generator
// states, a noise sign agrees in all with a chance of 2^-31. The generators
// are left as found.
inline std::vector<float> CopyWithoutNoise(const uint8_t* copy) {
    const NoiseGenerator base = BaseLayerNoise, ext = ExtLayerNoise;
    const uint16_t high = HighBandNoiseState;
    std::vector<float> first(kFrameSamples), again(kFrameSamples);
    CoreDecoderState state{};
    DecodeChannelFrame(&state, copy, kCopyBits, first.data());
    for (int n = 1; n < 32; ++n) {
        DecodeChannelFrame(&state, copy, kCopyBits, again.data());
        for (int k = 0; k < kFrameSamples; ++k)
            if (first[k] != again[k]) first[k] = NAN;
    }
    BaseLayerNoise = base, ExtLayerNoise = ext, HighBandNoiseState = high;
    return first;
}
