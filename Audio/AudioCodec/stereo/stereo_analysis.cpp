// Stereo dominance: ten narrow band powers per channel from one windowed fold,
// smoothed by level followers, decide which channel leads from 1 to 2.8 kHz.
#include "stereo/stereo_analysis.h"

#include "stereo/band_powers.inc"
#include "stereo/stereo_tables.h"

namespace {

constexpr int kBands = kStereoBands;
constexpr float kPowerCeiling = 1e10f;  // a band above it does not compete in this frame
constexpr float kLevelDecay = 0.7f;
constexpr int kBandsToSwitch = 8;
constexpr float kBandFloor[kBands] = {4000000.0f, 4000000.0f, 2000000.0f, 2000000.0f, 2000000.0f,
                                      2000000.0f, 2000000.0f, 1000000.0f, 1000000.0f, 1000000.0f};

// Fast attack, slow release: halfway up to the power above the floor, else decay by 0.7.
void FollowLevel(float power, float floor, float* level) {
    float above = power - floor;
    if (above < 0.0f) above = 0.0f;
    if (*level < above)
        *level = static_cast<float>(*level + 0.5 * (static_cast<double>(above) - *level));
    else
        *level = *level * kLevelDecay;
}

}  // namespace

void InitStereoAnalysis(StereoAnalysisState* state) {
    for (int ch = 0; ch < 2; ++ch)
        for (int b = 0; b < kBands; ++b) {
            state->band_level[ch][b] = 0.0f;
            state->band_floor[ch][b] = kBandFloor[b];
        }
    state->dominant = 0;
}

void StereoBandPowers(const int16_t* channel0, const int16_t* channel1, float* powers0, float* powers1,
                      StereoAnalysisState* state) {
    DREMKO_KERNEL(StereoFrameBandPowers, channel0, channel1, state->work, powers0, powers1);
}

int32_t StereoDominance(const int16_t* channel0, const int16_t* channel1, StereoAnalysisState* state) {
    float powers[2][kBands];
    StereoBandPowers(channel0, channel1, powers[0], powers[1], state);
    int wins[2] = {0, 0};
    for (int b = 0; b < kBands; ++b) {
        float best = 0.0f;
        int winner = -1;  // a band where no level is above 0 counts for nobody
        for (int ch = 0; ch < 2; ++ch) {
            if (powers[ch][b] > kPowerCeiling) continue;
            FollowLevel(powers[ch][b], state->band_floor[ch][b], &state->band_level[ch][b]);
            if (state->band_level[ch][b] > best) {  // equal levels leave the band to channel 0
                best = state->band_level[ch][b];
                winner = ch;
            }
        }
        if (winner >= 0) ++wins[winner];
    }
    if (wins[0] > wins[1] && wins[0] >= kBandsToSwitch)
        state->dominant = 0;
    else if (wins[1] >= kBandsToSwitch)
        state->dominant = 1;
    return state->dominant;
}
