// Stereo dominance: ten narrow band powers per channel from one windowed fold,
// smoothed by level followers, decide which channel leads from 1 to 2.8 kHz.
#include "stereo/stereo_analysis.h"

#include "stereo/stereo_tables.h"

namespace {

constexpr int kBands = 10;
constexpr int kAnalysedSamples = 480;  // the first half of the frame
constexpr int kFold = 120;
constexpr int kRows = 59;              // pairs j and 120 - j for j = 1 ... 59
constexpr float kPowerCeiling = 1e10f;  // a band above it does not compete in this frame
constexpr float kLevelDecay = 0.7f;
constexpr int kBandsToSwitch = 8;
constexpr float kBandFloor[kBands] = {4000000.0f, 4000000.0f, 2000000.0f, 2000000.0f, 2000000.0f,
                                      2000000.0f, 2000000.0f, 1000000.0f, 1000000.0f, 1000000.0f};

// The work space of one channel's band powers, rewritten every frame.
struct FoldArea {
    float* windowed;     // 480 windowed samples
    float* fold;         // S: four quarters summed, serves bins that are multiples of 4
    float* alternating;  // D: quarters with alternating signs, serves bins that leave 2 modulo 4
    float* fold_sum;     // S[j] + S[120 - j], index j = 1 ... 59
    float* fold_difference;
    float* alternating_sum;
    float* alternating_difference;
};

FoldArea CarveWorkSpace(float* work) {
    constexpr int kPairs = kRows + 1;
    return {work,
            work + kAnalysedSamples,
            work + kAnalysedSamples + kFold,
            work + kAnalysedSamples + 2 * kFold,
            work + kAnalysedSamples + 2 * kFold + kPairs,
            work + kAnalysedSamples + 2 * kFold + 2 * kPairs,
            work + kAnalysedSamples + 2 * kFold + 3 * kPairs};
}
static_assert(kAnalysedSamples + 2 * kFold + 4 * (kRows + 1) == sizeof(StereoAnalysisState::work) / sizeof(float),
              "the fold fills the work space");

// start + sum over j = 1 ... 59 of values[j] times the cosine (part 0) or sine
// (part 1) of band b; each product in double, each running sum rounded to float.
float Accumulate(float start, const float* values, int b, int part) {
    float sum = start;
    for (int j = 1; j <= kRows; ++j)
        sum = static_cast<float>(static_cast<double>(sum) +
                                 static_cast<double>(values[j]) * StereoBinTable[j - 1][b][part]);
    return sum;
}

void ChannelBandPowers(const int16_t* samples, float* work, float* powers) {
    const FoldArea a = CarveWorkSpace(work);
    for (int n = 0; n < kAnalysedSamples; ++n)
        a.windowed[n] = static_cast<float>(static_cast<double>(BlackmanWindow480[n]) * samples[n]);
    for (int j = 0; j < kFold; ++j) {
        const double even = static_cast<double>(a.windowed[j]) + a.windowed[j + 2 * kFold];
        const double odd = static_cast<double>(a.windowed[j + kFold]) + a.windowed[j + 3 * kFold];
        a.fold[j] = static_cast<float>(even + odd);
        a.alternating[j] = static_cast<float>(even - odd);
    }
    for (int j = 1; j <= kRows; ++j) {
        a.fold_sum[j] = a.fold[j] + a.fold[kFold - j];
        a.fold_difference[j] = a.fold[j] - a.fold[kFold - j];
        a.alternating_sum[j] = a.alternating[j] + a.alternating[kFold - j];
        a.alternating_difference[j] = a.alternating[j] - a.alternating[kFold - j];
    }
    const float middle = a.fold[kFold / 2];
    const float alternating_middle = a.alternating[kFold / 2];
    for (int b = 0; b < kBands; ++b) {
        const int bin = 10 + 2 * b;
        float re;
        float im;
        if (bin % 4 == 2) {
            // Sample 60 of the fold sits at a quarter turn of the bin: +/- sine, no cosine.
            re = Accumulate(a.alternating[0], a.alternating_difference, b, 0);
            im = Accumulate(bin % 8 == 2 ? alternating_middle : -alternating_middle, a.alternating_sum, b, 1);
        } else {
            // Sample 60 sits at a half or whole turn: +/- cosine, no sine.
            re = Accumulate(bin % 8 == 4 ? a.fold[0] - middle : a.fold[0] + middle, a.fold_sum, b, 0);
            im = Accumulate(0.0f, a.fold_difference, b, 1);
        }
        powers[b] = static_cast<float>(static_cast<double>(re) * re + static_cast<double>(im) * im);
    }
}

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
    ChannelBandPowers(channel0, state->work, powers0);
    ChannelBandPowers(channel1, state->work, powers1);
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
