// Minimum statistics per bin: smooth the power, keep its minimum, and every
// 63 unfrozen hops (about a second) move the floor toward that minimum.
#include "speech/spectral_floor.h"

#include <cmath>

namespace {

constexpr int kFirstBin = 4;
constexpr int kEndBin = 84;  // one past the last tracked bin
constexpr int32_t kHopsPerUpdate = 62;
constexpr float kStartLevel = 100.0f;
constexpr float kNoMinimum = 1e8f;
constexpr float kLowestFloor = 0.01f;

// 1 - exp(-rate) with the exponential in double, both results stored as float.
float UpdateCoefficient(float rate) {
    const float decay = static_cast<float>(std::exp(-static_cast<double>(rate)));
    return 1.0f - decay;
}

// value + coef (target - value), rounded once.
float MoveToward(float value, float target, float coef) {
    return static_cast<float>(static_cast<double>(value) + (static_cast<double>(target) - value) * coef);
}

}  // namespace

void SpectralFloor_Init(SpectralFloorState* st) {
    for (int k = 0; k < kSpectrumBins; ++k) {
        st->smoothed[k] = kStartLevel;
        st->runningMin[k] = kNoMinimum;
        st->floor[k] = kStartLevel;
    }
    st->smoothCoeff = UpdateCoefficient(0.22857143f);
    st->fallCoeff = UpdateCoefficient(2.48f);
    st->riseCoeff = UpdateCoefficient(0.124f);
    st->updateCounter = 0;
}

void SpectralFloor_Update(const float* power, int32_t frozen, SpectralFloorState* st) {
    if (frozen > 0) return;
    for (int k = kFirstBin; k < kEndBin; ++k) {
        const float smoothed = MoveToward(st->smoothed[k], power[k], st->smoothCoeff);
        st->smoothed[k] = smoothed;
        // A select, not a branch: which bins reach a new minimum is as good as random.
        st->runningMin[k] = st->runningMin[k] > smoothed ? smoothed : st->runningMin[k];
    }
    if (st->updateCounter <= kHopsPerUpdate) {
        ++st->updateCounter;
        return;
    }
    for (int k = kFirstBin; k < kEndBin; ++k) {
        const float coef = st->floor[k] < st->runningMin[k] ? st->riseCoeff : st->fallCoeff;
        st->floor[k] = MoveToward(st->floor[k], st->runningMin[k], coef);
        st->runningMin[k] = kNoMinimum;
        if (st->floor[k] < kLowestFloor) st->floor[k] = kLowestFloor;
    }
    st->updateCounter = 1;
}
