// Peak picking and period search over the comb of accepted peaks.
#include "speech/harmonic_peaks.h"

#include "core/clear_bytes.h"

namespace {

constexpr int kFirstPeakBin = 12;  // 375 Hz
constexpr int kLastPeakBin = 77;   // 2406.25 Hz
constexpr double kPeakOverFloor = 20.0;
constexpr int kShortestPeriod = 35;  // samples at 8 kHz: about 229 Hz
constexpr int kLongestPeriod = 107;  // about 75 Hz

}  // namespace

HarmonicPeaks HarmonicPeaks_Analyse(const float* power, const float* floor, const RealFft256Tables* tables) {
    // Cleared by written-out stores, not the string store an initialiser
    // gives, which takes longer to start than the clearing takes.
    float comb[kRealFftSize];
    ClearBytes<sizeof comb>(comb);
    for (int k = kFirstPeakBin; k <= kLastPeakBin; ++k) {
        // Height over the mean of the bins two away, so a broad hump does not count.
        const float peak =
            static_cast<float>(power[k] - 0.5 * (static_cast<double>(power[k - 2]) + power[k + 2]));
        // Both tests taken without a branch: which bins hold peaks is as good as random.
        const bool taken = (power[k] >= kPeakOverFloor * floor[k]) & (peak > 0.0f);
        comb[2 * k] = taken ? peak : 0.0f;
    }
    RealFft256_Inverse(comb, tables);
    float best = 0.0f;
    int best_period = 0;
    for (int n = kShortestPeriod; n <= kLongestPeriod; ++n) {
        if (comb[n] > best) {
            best = comb[n];
            best_period = n;
        }
    }
    return HarmonicPeaks{static_cast<float>(2 * best_period), comb[0], best / comb[0]};
}
