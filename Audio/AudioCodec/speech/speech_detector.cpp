// Input stage of the speech detector: rate reduction to 8 kHz, blocks of 16
// samples into newest-first histories, an analysis step every 128 samples,
// and the frame's flag.
#include "speech/speech_detector.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "simd/lanes.h"
#include "speech/analysis_frame.h"
#include "speech/voicing.h"

namespace {

constexpr int kMaxFrameSamples = 160;  // 20 ms at 8 kHz
constexpr int32_t kSpeechPercent = 61;
constexpr int32_t kMaxPercent = 99;
constexpr float kNoLevelFloor = 1e7f;

// The block's samples, exactly as floats, and their squares go newest first
// just below the cursors, four at a time.
void StoreBlock(SpeechDetectorState* state, const int16_t* block) {
    state->fillPos -= kBlockSamples;
    state->energyPos -= kBlockSamples;
    float* samples = state->sampleHalves[state->fillingHalf] + state->fillPos;
    float* squares = state->energyHistory + state->energyPos;
    for (int k = 0; k < kBlockSamples; k += 4) {
        const Float4 s = Reverse(LoadSamples(block + k));
        StoreFloat4(samples + kBlockSamples - 4 - k, s);
        StoreFloat4(squares + kBlockSamples - 4 - k, s * s);
    }
}

// Brings the frame to 8 kHz; returns the sample count.
int ToEightKilohertz(const int16_t* samples, SpeechDetectorState* state, int16_t* out) {
    const int count = state->frameMs * 8;
    if (state->rateKhz == 8) {
        std::memcpy(out, samples, static_cast<size_t>(count) * sizeof(int16_t));
    } else if (state->rateKhz == 32 || state->rateKhz == 48) {
        Decimator_Process(&state->decimator, samples, state->frameMs * state->rateKhz, out);
    } else {
        std::printf("Only 8/32/48 kHz sample rate supported!\n");
        std::exit(2);
    }
    return count;
}

bool AllEqual(const int16_t* samples, int count) {
    for (int i = 1; i < count; ++i)
        if (samples[i] != samples[0]) return false;
    return true;
}

}  // namespace

void SpeechDetector_Init(SpeechDetectorState* state, int32_t rateKhz, int32_t frameMs) {
    state->rateKhz = rateKhz;
    state->frameMs = frameMs;
    state->blockLength = kBlockSamples;
    state->hopPhase = 0;
    state->resetPending = 0;
    SpeechDetector_Reset(state);
    AnalysisFrame_BuildWindowHalf(state->windowHalf);
    RealFft256_BuildTables(&state->fftTables);
    std::memset(state->levelRing, 0, sizeof state->levelRing);
    state->levelRingIndex = 0;
    state->levelFloor = kNoLevelFloor;
    state->floorAge = 0;
    state->floorCandidate = kNoLevelFloor;
    SpectralFloor_Init(&state->spectralFloor);
    if (rateKhz == 48) Decimator_Create(&state->decimator, kDecimatorTaps48k.data(), 96, 6);
    if (rateKhz == 32) Decimator_Create(&state->decimator, kDecimatorTaps32k.data(), 64, 4);
}

void SpeechDetector_Reset(SpeechDetectorState* state) {
    state->hopPhase = 0;
    state->speechProbability = 0.0f;
    std::memset(state->energyHistory, 0, sizeof state->energyHistory);
    state->energyPos = kHopSamples;
    std::memset(state->sampleHalves, 0, sizeof state->sampleHalves);
    state->fillingHalf = 0;
    state->fillPos = kHopSamples;
    std::memset(state->lagHistory, 0, sizeof state->lagHistory);
    std::memset(state->ratioHistory, 0, sizeof state->ratioHistory);
    std::memset(state->strengthHistory, 0, sizeof state->strengthHistory);
}

int32_t SpeechDetector_ProbabilityPercent(float probability) {
    const int32_t percent = static_cast<int32_t>(static_cast<double>(probability) * 100.0);
    return percent > kMaxPercent ? kMaxPercent : percent;
}

uint32_t SpeechDetector_Process(const int16_t* samples, SpeechDetectorState* state) {
    int16_t low[kMaxFrameSamples];
    const int count = ToEightKilohertz(samples, state, low);
    // A constant frame (digital silence, a stuck input) carries nothing to
    // analyse; the detector starts afresh at the next frame that moves.
    if (AllEqual(low, count)) {
        state->resetPending = 1;
        return 0;
    }
    if (state->resetPending == 1) SpeechDetector_Reset(state);
    state->resetPending = 0;

    int32_t frame_max = 0;
    for (int start = 0; start + kBlockSamples <= count; start += kBlockSamples) {
        StoreBlock(state, low + start);
        state->hopPhase += kBlockSamples;
        if (state->hopPhase >= kHopSamples) {
            SpeechDetector_AnalyseHop(state);
            state->hopPhase -= kHopSamples;
        }
        const int32_t percent = SpeechDetector_ProbabilityPercent(state->speechProbability);
        if (percent > frame_max) frame_max = percent;
    }
    return frame_max >= kSpeechPercent ? 1u : 0u;
}
