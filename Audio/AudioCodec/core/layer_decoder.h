// Decoding one layer's region vectors, with the noise fill of regions (and
// parts of regions) that carry no coefficient bits.
#pragma once
#include <cstdint>

#include "core/bit_reader.h"
#include "core/core_tables.h"
#include "core/decoder_noise.h"

// Decodes the `regions` regions of `region_order` (sending order) into
// `coefficients` (all 960, zero on entry); `sigma` and `categories` are
// indexed by region number. Bits are taken from `*available` until it runs
// out; from then on the rest of the layer is noise and its regions'
// categories become 7. Every value written is times `gain`, rounded to float
// once more, as if the gain were applied to the decoded coefficients.
void DecodeLayerVectors(BitReader* reader, int regions, const int32_t* region_order, const float* sigma,
                        int32_t* categories, int32_t* available, float noise_gain, double gain, NoiseGenerator* noise,
                        float* coefficients);
