// The noise sources of the core decoder.
#pragma once
#include <cstdint>

// Lagged-additive generator over four 32-bit words; all words start at 1.
struct NoiseGenerator {
    uint32_t word[4];
};

// One draw; callers consume its bits from the least significant upward.
uint32_t DrawNoise(NoiseGenerator* generator);
// The high band's 16-bit linear congruential generator (starts at 17666):
// advances the state and returns the new state read as a signed 16-bit value.
int16_t NextHighBandNoise(uint16_t* state);

// The process-wide generators, shared by every decoder and channel and never
// reset, so the noise a frame receives depends on everything decoded before
// it: one for base-layer regions, one for extension regions, one for the
// high band of frames without extension bits.
extern NoiseGenerator BaseLayerNoise;
extern NoiseGenerator ExtLayerNoise;
extern uint16_t HighBandNoiseState;
