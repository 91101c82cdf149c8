// The noise sources of the core decoder.
#pragma once
#include <cstdint>

// Lagged-additive generator over four 32-bit words; all words start at 1.
struct NoiseGenerator {
    uint32_t word[4];
};

// One draw; callers consume its bits from the least significant upward.
// Inline: the vector decoder draws once or twice per region.
inline uint32_t DrawNoise(NoiseGenerator* generator) {
    uint32_t* w = generator->word;
    uint32_t x = w[0] + w[3];
    if (x & 0x8000u) x += 1;
    w[3] = w[2];
    w[2] = w[1];
    w[1] = w[0];
    w[0] = x;
    return x;
}
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
