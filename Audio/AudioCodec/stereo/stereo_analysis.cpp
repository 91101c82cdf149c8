// Stereo dominance: ten narrow band powers per channel from one windowed fold,
// smoothed by level followers, decide which channel leads from 1 to 2.8 kHz.
#include "stereo/stereo_analysis.h"

#include "simd/lanes.h"
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

// Band sums four bands at a time (lanes b ... b + 3 for b = 0, 4 and 6; bands 6
// and 7 are summed twice, alike). Even bands (bins 2 modulo 4) read the
// alternating fold, odd bands the fold: start + sum over j = 1 ... 59 of
// values[j] times the band's cosine (re) or sine (im), each product in
// double, each running sum rounded to float.
constexpr int kBandGroups[3] = {0, 4, 6};
static_assert(kBandGroups[2] + 4 == kBands, "the groups cover the bands");

void BandSums(const FoldArea& a, const float* start_re, const float* start_im, float* re, float* im) {
    Float4 sum_re[3], sum_im[3];
    for (int g = 0; g < 3; ++g) {
        sum_re[g] = LoadFloat4(start_re + kBandGroups[g]);
        sum_im[g] = LoadFloat4(start_im + kBandGroups[g]);
    }
    for (int j = 1; j <= kRows; ++j) {
        const Float4 re_values = {a.alternating_difference[j], a.fold_sum[j], a.alternating_difference[j],
                                  a.fold_sum[j]};
        const Float4 im_values = {a.alternating_sum[j], a.fold_difference[j], a.alternating_sum[j],
                                  a.fold_difference[j]};
        for (int g = 0; g < 3; ++g) {
            const float* row = StereoBinTable[j - 1][kBandGroups[g]];  // (cosine, sine) per band
            sum_re[g] = AddProduct(sum_re[g], re_values, LoadEven(row));
            sum_im[g] = AddProduct(sum_im[g], im_values, LoadOdd(row));
        }
    }
    for (int g = 0; g < 3; ++g) {
        StoreFloat4(re + kBandGroups[g], sum_re[g]);
        StoreFloat4(im + kBandGroups[g], sum_im[g]);
    }
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
    float start_re[kBands], start_im[kBands];
    for (int b = 0; b < kBands; ++b) {
        const int bin = 10 + 2 * b;
        if (bin % 4 == 2) {
            // Sample 60 of the fold sits at a quarter turn of the bin: +/- sine, no cosine.
            start_re[b] = a.alternating[0];
            start_im[b] = bin % 8 == 2 ? alternating_middle : -alternating_middle;
        } else {
            // Sample 60 sits at a half or whole turn: +/- cosine, no sine.
            start_re[b] = bin % 8 == 4 ? a.fold[0] - middle : a.fold[0] + middle;
            start_im[b] = 0.0f;
        }
    }
    float re[kBands], im[kBands];
    BandSums(a, start_re, start_im, re, im);
    for (int b = 0; b < kBands; ++b)
        powers[b] = static_cast<float>(static_cast<double>(re[b]) * re[b] + static_cast<double>(im[b]) * im[b]);
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
