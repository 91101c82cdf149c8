// Core frame encoder: envelope, split, categorisation and rate-controlled
// quantisation of each layer, and packing into the embedded 1280-bit frame.
#include "core/core_encoder.h"

#include "core/bit_writer.h"
#include "core/categorize.h"
#include "core/quantize.h"
#include "core/region_powers.h"

namespace {

constexpr int kSplitIndexBits = 3;
constexpr int kControlBits = 5;

// One layer's regions as coded: positions 0 ... regions - 1 stand for
// regions first_region ... first_region + regions - 1.
struct LayerCode {
    int first_region;
    int regions;
    int32_t categories[kBaseRegions];
    int32_t balance_list[kControlValues - 1];
    int32_t order[kBaseRegions];  // positions in sending order
    int32_t control;
    QuantisedRegion quantised[kBaseRegions];
};

void CodeLayer(const float* coefficients, const RegionEnvelope& envelope, int budget, LayerCode* layer) {
    const int first = layer->first_region;
    const int32_t* power = envelope.power + first;
    Categorize(layer->regions, budget, power, layer->categories, layer->balance_list);
    int32_t table_power[kBaseRegions];
    for (int i = 0; i < layer->regions; ++i) {
        table_power[i] = power[i] + kPowerIndexOffset;
        layer->order[i] = i;
    }
    SortRegionsByPower(table_power, layer->regions, layer->order);
    layer->control = QuantizeLayer(layer->regions, budget, coefficients + first * kRegionSize, table_power,
                                   layer->categories, layer->balance_list, layer->quantised);
}

// Envelope codes, control value and region vectors of a layer, cut at `end`,
// then ones up to `end`.
void PackLayer(const float* coefficients, const RegionEnvelope& envelope, const LayerCode& layer, int end,
               BitWriter* writer) {
    BitWriter local = *writer;  // in registers while the envelope is written
    // Two envelope codes per field: each takes at most 16 bits.
    static_assert(kBaseRegions % 2 == 0 && kExtRegions % 2 == 0, "a layer's regions go in pairs");
    for (int r = layer.first_region; r < layer.first_region + layer.regions; r += 2)
        WriteBits(&local, static_cast<uint32_t>(envelope.code[r]) << envelope.code_length[r + 1] | envelope.code[r + 1],
                  envelope.code_length[r] + envelope.code_length[r + 1]);
    WriteBits(&local, static_cast<uint32_t>(layer.control), kControlBits);
    WriteRegions(coefficients + layer.first_region * kRegionSize, layer.quantised, layer.categories, layer.order,
                 layer.regions, end, &local);
    FillOnes(&local, end);
    *writer = local;
}

}  // namespace

int EncodeCoreFrame(CoreEncoderState* state, int32_t* frame_level, int frame_bits, const float* coefficients,
                    uint8_t* output) {
    ++state->frame_count;
    RegionEnvelope envelope;
    ComputeRegionPowers(coefficients, state, &envelope, frame_level);

    const int ext_share = (5 * state->split_index + 20) * 16;
    const int base_share = kCoreFrameBits - ext_share;
    LayerCode base;
    base.first_region = 0;
    base.regions = kBaseRegions;
    CodeLayer(coefficients, envelope, base_share - state->base_envelope_bits - kSplitIndexBits - kControlBits,
              &base);

    // The base envelope and control take at most 394 bits, so the base share
    // (400 bits or more) always holds them and the extension starts at its word.
    BitWriter writer;
    StartBitWriter(&writer, output);
    WriteBits(&writer, static_cast<uint32_t>(state->split_index), kSplitIndexBits);
    PackLayer(coefficients, envelope, base, base_share, &writer);
    // A frame cut at the base share (the lowest rate with the smallest
    // extension) keeps nothing of the extension, which is then not coded.
    if (frame_bits > base_share) {
        LayerCode ext;
        ext.first_region = kBaseRegions;
        ext.regions = kExtRegions;
        CodeLayer(coefficients, envelope, ext_share - state->ext_envelope_bits - kControlBits, &ext);
        PackLayer(coefficients, envelope, ext, frame_bits, &writer);
    }
    return 0;
}
