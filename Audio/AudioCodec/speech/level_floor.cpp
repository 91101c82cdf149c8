// Slow floor of the speech-band level: a hop much louder than it is not
// taken as background by the spectral floor tracker.
#include "speech/voicing.h"

namespace {

constexpr float kNoFloor = 1e7f;
constexpr int32_t kCandidateAge = 100;  // hops before a rise candidate is collected
constexpr int32_t kRiseAge = 300;

}  // namespace

void LevelFloor_Update(SpeechDetectorState* state) {
    const float* r = state->levelRing;
    const float mean4 = static_cast<float>((static_cast<double>(r[1]) + r[0] + r[2] + r[3]) * 0.25);
    if (state->levelFloor > mean4) {
        state->levelFloor = mean4;
        state->floorAge = 0;
        state->floorCandidate = kNoFloor;
        return;
    }
    ++state->floorAge;
    if (state->floorAge > kCandidateAge && state->floorCandidate > mean4) state->floorCandidate = mean4;
    if (state->floorAge > kRiseAge) {
        state->levelFloor = state->floorCandidate;
        state->floorAge = kCandidateAge;
        state->floorCandidate = kNoFloor;
    }
}
