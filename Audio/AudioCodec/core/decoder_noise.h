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
// each draw takes the state s to s x multiplier + increment (mod 2^16) and
// returns the new state read as a signed 16-bit value.
struct HighBandStep {
    uint16_t multiplier;
    uint16_t increment;
};
constexpr HighBandStep kHighBandDraw = {31321, 15467};

// `draws` draws as one step: two steps in a row are again a step, so lanes
// that stand `draws` draws apart advance together.
constexpr HighBandStep HighBandSteps(int draws) {
    HighBandStep step = {1, 0};
    for (int i = 0; i < draws; ++i)
        step = {static_cast<uint16_t>(uint32_t{step.multiplier} * kHighBandDraw.multiplier),
                static_cast<uint16_t>(uint32_t{step.increment} * kHighBandDraw.multiplier + kHighBandDraw.increment)};
    return step;
}

inline uint16_t AdvanceHighBand(uint16_t state, HighBandStep step) {
    return static_cast<uint16_t>(uint32_t{state} * step.multiplier + step.increment);
}

// The process-wide generators, shared by every decoder and channel and never
// reset, so the noise a frame receives depends on everything decoded before
// it: one for base-layer regions, one for extension regions, one for the
// high band of frames without extension bits.
extern NoiseGenerator BaseLayerNoise;
extern NoiseGenerator ExtLayerNoise;
extern uint16_t HighBandNoiseState;
