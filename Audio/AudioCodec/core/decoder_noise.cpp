#include "core/decoder_noise.h"

NoiseGenerator BaseLayerNoise = {{1, 1, 1, 1}};
NoiseGenerator ExtLayerNoise = {{1, 1, 1, 1}};
uint16_t HighBandNoiseState = 17666;

uint32_t DrawNoise(NoiseGenerator* generator) {
    uint32_t* w = generator->word;
    uint32_t x = w[0] + w[3];
    if (x & 0x8000u) x += 1;
    w[3] = w[2];
    w[2] = w[1];
    w[1] = w[0];
    w[0] = x;
    return x;
}

int16_t NextHighBandNoise(uint16_t* state) {
    *state = static_cast<uint16_t>(*state * 31321u + 15467u);
    return static_cast<int16_t>(*state);
}
