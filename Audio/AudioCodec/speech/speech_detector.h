// Pitch-based speech detector working at 8 kHz, one per encoder channel.
// It only reads the samples it is given; its flag describes that frame.
#pragma once
#include <cstdint>

#include "speech/decimator.h"
#include "speech/real_fft256.h"
#include "speech/spectral_floor.h"

constexpr int kBlockSamples = 16;       // samples per block at 8 kHz
constexpr int kHopSamples = 128;        // 8 kHz samples between analysis steps (16 ms)
constexpr int kEnergyHistory = 512;     // squares of the last 512 samples at 8 kHz
constexpr int kWindowTaper = 64;        // samples of each sine taper of the analysis frame
constexpr int kStrengthHistory = 10;
constexpr int kLagHistory = 3;
constexpr int kLevelRing = 4;

struct SpeechDetectorState {
    // Input stage.
    int32_t rateKhz;  // 8, 32 or 48
    int32_t frameMs;  // 10 or 20
    int32_t blockLength;
    int32_t hopPhase;      // 8 kHz samples since the last analysis step
    int32_t resetPending;  // 1 after a frame whose 8 kHz samples were all equal
    float speechProbability;
    float sampleHalves[2][kHopSamples];  // the last two hops at 8 kHz, newest first
    int32_t fillingHalf;                 // the half the current hop fills
    int32_t fillPos;                     // where the last block went; kHopSamples at the start of a hop
    float energyHistory[kEnergyHistory];  // squares, newest first
    int32_t energyPos;
    DecimatorState decimator;  // not created at 8 kHz
    // Spectral front end.
    float windowHalf[kWindowTaper];
    RealFft256Tables fftTables;
    SpectralFloorState spectralFloor;
    // Voicing decision.
    float lagHistory[kLagHistory];  // this hop [0] and the two before; 0 = no pitch
    float ratioHistory[kLagHistory];
    float strengthHistory[kStrengthHistory];
    float levelRing[kLevelRing];
    int32_t levelRingIndex;  // hop counter; the current slot is levelRingIndex & 3
    float levelFloor;        // slow floor of the four-hop mean level
    int32_t floorAge;        // hops since levelFloor last fell
    float floorCandidate;    // lowest four-hop mean seen while floorAge was above 100
};

// rateKhz 8, 32 or 48; frameMs 10 or 20.
void SpeechDetector_Init(SpeechDetectorState* state, int32_t rateKhz, int32_t frameMs);
// samples: frameMs * rateKhz samples. Returns 1 when the frame is judged speech.
uint32_t SpeechDetector_Process(const int16_t* samples, SpeechDetectorState* state);
// Clears the short-term memory; keeps the level and spectral floors, the
// decimator history and the tables.
void SpeechDetector_Reset(SpeechDetectorState* state);
// The frame score of a probability: trunc(p * 100), at most 99.
int32_t SpeechDetector_ProbabilityPercent(float probability);
