// Pitch-based speech detector working at 8 kHz, one per encoder channel.
#pragma once
#include <cstdint>

// Placeholder layout; the detector's own fields replace it.
struct SpeechDetectorState {
    int32_t rateKhz;
    int32_t frameMs;
};

void SpeechDetector_Init(SpeechDetectorState* state, int32_t rateKhz, int32_t frameMs);
// samples: frameMs * rateKhz samples. Returns 1 when the frame is judged speech.
uint32_t SpeechDetector_Process(const int16_t* samples, SpeechDetectorState* state);
