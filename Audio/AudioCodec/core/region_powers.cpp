// Region powers, envelope codes, frame level and layer split of one frame.
#include "core/region_powers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/region_powers.inc"

namespace {

constexpr int32_t kRegion0Offset = 7;  // region 0 is sent as p(0) + 7 in 5 bits
constexpr int32_t kMaxPower = 24;
constexpr int32_t kMinPower = -15;
constexpr int32_t kMinRegion0Power = -6;
constexpr int32_t kMaxRise = 11;  // a region may lie at most 11 below its right neighbour
constexpr int32_t kMaxFall = 12;  // the difference codes reach down to -12

// Level in decibel steps, 0 ... 127 (truncated; clamping first gives the
// same result and keeps an overflowing total in range).
int32_t FrameLevel(float total) {
    const double level = 10.0 * std::log10(static_cast<double>(total) + 0.01);
    return static_cast<int32_t>(std::clamp(level, -20.0, 107.0)) + 20;
}

// Split index 0 ... 7 (the larger, the larger the extension share) from the
// ratio of high-band (regions 26 ... 43) to low-band power. The powers
// 2^-15 ... 2^24 are summed as whole multiples of 2^-15, in integers: 44 of
// them take at most 45 bits, so sums in double would be exact too, and the
// scale by a power of two changes no comparison. The integer sums spare a
// chain of double additions.
int32_t SplitIndex(const int32_t* power) {
    int64_t low = 0, high = 0;
    for (int r = 0; r < 26; ++r) low += int64_t{1} << (power[r] - kMinPower);
    for (int r = 26; r < kRegions; ++r) high += int64_t{1} << (power[r] - kMinPower);
    const double ratio_above[7] = {4.0, 3.0, 2.0, 1.0, 0.5, 0.01, 0.001};  // for split 7 ... 1
    for (int i = 0; i < 7; ++i)
        if (ratio_above[i] * static_cast<double>(low) < static_cast<double>(high)) return 7 - i;
    return 0;
}

}  // namespace

// The index is the number of power boundaries at or below the mean square
// (none for a NaN). Boundary j lies within a millionth of 2^(j - 23.5), so
// for a mean square in [2^e, 2^(e + 1)) every boundary up to j = e + 23
// lies below 2^e and every one from e + 25 on above 2^(e + 1): only
// boundary e + 24 needs a comparison. Zero and subnormal mean squares lie
// below every boundary.
int32_t PowerIndex(float mean_square) {
    uint32_t bits;
    std::memcpy(&bits, &mean_square, sizeof bits);
    const int exponent = static_cast<int>((bits >> 23) & 0xff) - 127;  // the sign bit is never set
    const int compared = exponent + 24;
    int count = mean_square >= 0.0f ? std::clamp(compared, 0, kPowerBoundaries) : 0;
    // Without a branch: the clamped boundary is compared always and counts
    // only where it is the one the exponent names.
    const int nearest = std::clamp(compared, 0, kPowerBoundaries - 1);
    count += (compared == nearest) & (PowerBoundary[nearest] <= mean_square);
    return count - kPowerIndexOffset;
}

void ComputeRegionPowers(const float* coefficients, CoreEncoderState* state, RegionEnvelope* envelope,
                         int32_t* frame_level) {
    int32_t* p = envelope->power;
    float mean_square[kRegions];
    DREMKO_KERNEL(RegionMeanSquares, coefficients, mean_square);
    float total = 0.0f;
    for (int r = 0; r < kRegions; ++r) {
        total += mean_square[r];
        p[r] = PowerIndex(mean_square[r]);
    }
    *frame_level = FrameLevel(total);

    for (int r = kRegions - 2; r >= 0; --r) p[r] = std::max(p[r], p[r + 1] - kMaxRise);
    p[0] = std::clamp(p[0], kMinRegion0Power, kMaxPower);
    for (int r = 1; r < kRegions; ++r) p[r] = std::clamp(p[r], kMinPower, kMaxPower);

    envelope->code[0] = static_cast<uint16_t>(p[0] + kRegion0Offset);
    envelope->code_length[0] = 5;
    // Region r's difference code; returns its length. The layers' bit counts
    // are summed in locals, which the byte stores of the lengths could
    // otherwise alias, and the previous power is carried in one, so that no
    // region waits on the store of the one before.
    int32_t previous = p[0];
    const auto code_difference = [&](int r) {
        const int32_t power = std::max(p[r], previous - kMaxFall);
        p[r] = power;
        const int row = std::min(r - 1, 12);
        const int index = power - previous + kMaxFall;
        previous = power;
        envelope->code[r] = PowerCode[row][index];
        return envelope->code_length[r] = PowerCodeLength[row][index];
    };
    int32_t base_bits = 5, ext_bits = 0;
    for (int r = 1; r < kBaseRegions; ++r) base_bits += code_difference(r);
    for (int r = kBaseRegions; r < kRegions; ++r) ext_bits += code_difference(r);
    state->base_envelope_bits = base_bits;
    state->ext_envelope_bits = ext_bits;
    state->split_index = SplitIndex(p);
}
