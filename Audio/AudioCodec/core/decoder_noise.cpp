#include "core/decoder_noise.h"

NoiseGenerator BaseLayerNoise = {{1, 1, 1, 1}};
NoiseGenerator ExtLayerNoise = {{1, 1, 1, 1}};
uint16_t HighBandNoiseState = 17666;

int16_t NextHighBandNoise(uint16_t* state) {
    *state = static_cast<uint16_t>(*state * 31321u + 15467u);
    return static_cast<int16_t>(*state);
}
