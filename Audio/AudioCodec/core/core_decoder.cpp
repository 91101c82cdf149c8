// The core frame decoder: bit accounting per layer, envelopes,
// categorisation, the layers' vectors, the high-band noise and the frame checks.
#include "core/core_decoder.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/categorize.h"
#include "core/clear_bytes.h"
#include "core/code_lookup.h"
#include "core/decoder_noise.h"
#include "core/layer_decoder.h"
#include "simd/gain.h"

namespace {

constexpr int kSplitIndexBits = 3;
constexpr int kRegion0Bits = 5;
constexpr int kRegion0Offset = 7;
constexpr int kControlBits = 5;
constexpr int kLastPowerCodeRow = 12;
constexpr int kZeroDifferenceIndex = 12;  // code index of a power difference of 0
// The extension layer is read only from frames of at least this many bits;
// shorter frames leave its band at 0.
constexpr int kExtensionMinFrameBits = 560;
constexpr int kHighBandStart = kBaseRegions * kRegionSize;
constexpr int kHighBandLength = kExtRegions * kRegionSize;

// The frame length in whole bytes' bits, held to 0 ... 1280.
int HeldFrameBits(int frame_bits) {
    if (frame_bits < 0) return 0;
    if (frame_bits > kCoreFrameBits) return kCoreFrameBits;
    return frame_bits & ~7;
}

// Damaged frames can drive a power index past either end of the standard
// deviation table; lookups use the nearest entry, the index itself is kept.
float RegionAmplitude(int32_t power_index) {
    int32_t i = power_index + kPowerIndexOffset;
    if (i < 0) i = 0;
    if (i > 63) i = 63;
    return StandardDeviation[i];
}

// Power indices of regions first ... last from their difference codes; a
// difference whose code is not complete within the bits available is 0.
void DecodePowerDifferences(CoreDecoderState* state, BitReader* reader, int first, int last, int32_t* available,
                            int32_t* budget) {
    int32_t* p = state->power_index;
    const CodeLookup* rows = PowerCodeLookups();
    // Reader and count in locals, so that they stay in registers.
    BitReader bits = *reader;
    int32_t left = *available;
    uint64_t next = PeekBits64(bits);
    for (int r = first; r <= last; ++r) {
        const int row = r - 1 < kLastPowerCodeRow ? r - 1 : kLastPowerCodeRow;
        // A look holds 57 bits, enough for two codes of at most 16: the next
        // code reads from a look taken at this one's start, whose load runs
        // beside this code's lookup. Once the bits run out every later code
        // reads as -1 whatever the look holds.
        const uint64_t look = PeekBits64(bits);
        const int32_t start = bits.position;
        const int index = ReadCode<kPowerLookupBits>(&bits, rows[row], &next, &left);
        next = look << (bits.position - start);
        p[r] = p[r - 1] + (index < 0 ? kZeroDifferenceIndex : index) - kZeroDifferenceIndex;
        state->sigma[r] = RegionAmplitude(p[r]);
    }
    *budget -= *available - left;  // every bit read counts against the budget too
    *reader = bits;
    *available = left;
}

void DecodeBaseEnvelope(CoreDecoderState* state, BitReader* reader) {
    state->power_index[0] = static_cast<int32_t>(ReadBits(reader, kRegion0Bits)) - kRegion0Offset;
    state->sigma[0] = RegionAmplitude(state->power_index[0]);
    state->base_available -= kRegion0Bits;
    state->base_budget -= kRegion0Bits;
    DecodePowerDifferences(state, reader, 1, kBaseRegions - 1, &state->base_available, &state->base_budget);
}

void DecodeExtEnvelope(CoreDecoderState* state, BitReader* reader) {
    DecodePowerDifferences(state, reader, kBaseRegions, kRegions - 1, &state->ext_available, &state->ext_budget);
}

// 1.0, or 0.7 when regions 0 ... 8 hold most of the base layer's power.
// Region 0's index is -7 ... 24 and each difference -12 ... 11, so every
// base index is within -331 ... 321, where PowerOfTwo holds.
float NoiseGain(const int32_t* power_index) {
    double low = 0.0, high = 0.0;
    for (int r = 0; r < 9; ++r) low += PowerOfTwo(power_index[r]);
    for (int r = 9; r < kBaseRegions; ++r) high += PowerOfTwo(power_index[r]);
    return 0.7 * low < high ? 1.0f : 0.7f;
}

// Sorts a layer's regions into sending order, reads its control value and
// categorises it. Returns false, reading nothing, when fewer bits than the
// control value remain.
bool ReadLayerCategories(CoreDecoderState* state, BitReader* reader, int first, int regions, int32_t* available, int32_t* budget,
                         int32_t* categories, int32_t* control) {
    if (*available < kControlBits) return false;
    SortRegionsByPower(state->power_index + first, regions, state->region_order + first);
    *control = static_cast<int32_t>(ReadBits(reader, kControlBits));
    *available -= kControlBits;
    *budget -= kControlBits;
    CategorizeForControl(regions, *budget, state->power_index + first, *control, categories + first);
    return true;
}

// The extension band when no extension bits arrived: noise fading from the
// level of the last base coefficient down to 0, one draw per coefficient.
// The draws run in eight lanes that stand eight draws apart, so the chain of
// draws is an eighth as long. Each value, draw / 32768 x level x (320 - k),
// is exact in double before its one rounding (16, 24 and 9 bits); draw x
// (320 - k) is an integer below 2^24 and the scaling by 2^-15 exact, so one
// float product by the level rounds the same exact value once.
void FillHighBandNoise(float* coefficients) {
    constexpr int kLanes = 8;
    constexpr float kDrawScale = 1.0f / 32768;
    static_assert(kHighBandLength % kLanes == 0, "whole groups of lanes");
    constexpr HighBandStep kLaneStep = HighBandSteps(kLanes);
    const float level = static_cast<float>(std::fabs(static_cast<double>(coefficients[kHighBandStart - 1])) /
                                           kHighBandLength);
    uint16_t lane[kLanes];
    for (int j = 0; j < kLanes; ++j) lane[j] = AdvanceHighBand(HighBandNoiseState, HighBandSteps(j + 1));
    float* out = coefficients + kHighBandStart;
    for (int k = 0; k < kHighBandLength; k += kLanes) {
        if (k > 0)
            for (int j = 0; j < kLanes; ++j) lane[j] = AdvanceHighBand(lane[j], kLaneStep);
        for (int j = 0; j < kLanes; ++j) {
            const int32_t faded = static_cast<int16_t>(lane[j]) * (kHighBandLength - k - j);
            out[k + j] = static_cast<float>(faded) * kDrawScale * level;
        }
    }
    HighBandNoiseState = lane[kLanes - 1];
}

// Consistency of the decoded frame: 1 fill bits not all ones, 2 extension
// overspent (cannot arise while every read is checked against the bits
// available), 4 a base power index out of range.
int32_t CheckFrame(const CoreDecoderState* state, BitReader* reader) {
    int32_t error = 0;
    for (int32_t left = state->ext_available; left > 0 && error == 0; left -= 32) {
        const int count = left < 32 ? static_cast<int>(left) : 32;
        if (ReadBits(reader, count) != 0xFFFFFFFFu >> (32 - count)) error |= 1;
    }
    if (state->ext_available < 0 && state->base_control < kControlValues - 1) error |= 2;
    for (int r = 0; r < kBaseRegions; ++r)
        if (state->power_index[r] > 33 || state->power_index[r] < -31) error |= 4;
    return error;
}

}  // namespace

int DecodeCoreFrame(CoreDecoderState* state, int frame_bits, const uint8_t* frame, float* coefficients,
                    double gain) {
    ++state->frame_count;
    const int bits = HeldFrameBits(frame_bits);
    uint8_t words[kFrameCopyBytes];
    CopyFrameWords(frame, bits / 8, words);
    BitReader reader = StartBitReader(words, 0);

    state->split_index = static_cast<int32_t>(ReadBits(&reader, kSplitIndexBits));
    const int ext_share = 80 * state->split_index + 320;
    const int base_share = kCoreFrameBits - ext_share;
    state->base_available = base_share <= bits ? base_share : bits;
    state->ext_available = base_share <= bits ? bits - base_share : 0;
    state->base_available -= kSplitIndexBits;
    state->base_budget = base_share - kSplitIndexBits;
    state->ext_budget = ext_share;
    state->base_control = state->ext_control = 0;
    for (int r = 0; r < kRegions; ++r) {
        state->region_order[r] = r;
        state->base_category[r] = state->ext_category[r] = kNoBitsCategory;
    }

    DecodeBaseEnvelope(state, &reader);
    state->noise_gain = NoiseGain(state->power_index);
    if (!ReadLayerCategories(state, &reader, 0, kBaseRegions, &state->base_available, &state->base_budget,
                             state->base_category, &state->base_control))
        state->base_available = state->ext_available = 0;

    // Each layer writes every coefficient of its regions (vectors or noise),
    // so only the band above them, and the high band of a frame too short
    // for it, are cleared.
    ClearBytes<(kFrameSamples - kHighBandStart - kHighBandLength) * sizeof(float)>(coefficients + kHighBandStart +
                                                                                   kHighBandLength);
    // The gain goes into the values the layers write (0 stays 0), saving a
    // pass over the frame; but the high band's noise follows the last base
    // coefficient as decoded, so a frame that gets it takes the gain after.
    const bool high_band_noise = bits >= kExtensionMinFrameBits && state->ext_available < 1;
    const double layer_gain = high_band_noise ? 1.0 : gain;
    DecodeLayerVectors(&reader, kBaseRegions, state->region_order, state->sigma, state->base_category,
                       &state->base_available, state->noise_gain, layer_gain, &BaseLayerNoise, coefficients);

    if (bits < kExtensionMinFrameBits) {
        std::memset(coefficients + kHighBandStart, 0, kHighBandLength * sizeof(float));
    } else if (high_band_noise) {
        FillHighBandNoise(coefficients);
        ApplyGain(coefficients, kFrameSamples, gain);
    } else {
        reader = StartBitReader(words, base_share);
        DecodeExtEnvelope(state, &reader);
        if (!ReadLayerCategories(state, &reader, kBaseRegions, kExtRegions, &state->ext_available, &state->ext_budget,
                                 state->ext_category, &state->ext_control))
            state->ext_available = 0;
        DecodeLayerVectors(&reader, kExtRegions, state->region_order + kBaseRegions, state->sigma,
                           state->ext_category, &state->ext_available, state->noise_gain, layer_gain,
                           &ExtLayerNoise, coefficients);
    }

    state->frame_error = CheckFrame(state, &reader);
    if (state->frame_error != 0) std::printf("decoder: FRAME ERROR %1d\n", state->frame_error);
    return 0;
}
