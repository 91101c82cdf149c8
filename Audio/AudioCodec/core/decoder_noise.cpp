#include "core/decoder_noise.h"

NoiseGenerator BaseLayerNoise = {{1, 1, 1, 1}};
NoiseGenerator ExtLayerNoise = {{1, 1, 1, 1}};
uint16_t HighBandNoiseState = 17666;
