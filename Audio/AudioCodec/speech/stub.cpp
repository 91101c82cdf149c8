// Temporary stand-in until the speech detector lands; delete when it does.
#include "speech/speech_detector.h"
void SpeechDetector_Init(SpeechDetectorState* state, int32_t rateKhz, int32_t frameMs) {
    state->rateKhz = rateKhz;
    state->frameMs = frameMs;
}
uint32_t SpeechDetector_Process(const int16_t*, SpeechDetectorState*) { return 0; }
