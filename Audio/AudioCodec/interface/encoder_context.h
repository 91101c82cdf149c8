// The encoder context: one plain structure in caller memory.
#pragma once
#include <cstdint>

#include "core/core_encoder.h"
#include "speech/speech_detector.h"
#include "stereo/stereo_analysis.h"

constexpr int kEncoderContextBytes = 40924;
constexpr int kWindowSamples = 1920;
constexpr int kBaseRingSlots = 9;
constexpr int kCopyBytes = 26;   // a redundant copy: the first 208 bits of a core frame
constexpr int kMaxCopies = 4;
constexpr int kMaxMainBytes = 160;

struct EncoderChannelState {
    CoreEncoderState core;
    SpeechDetectorState speech;
    int32_t speech_result;
    int32_t frame_level;
};

struct DremkoEncoderContext {
    int32_t bit_rate;            // per channel
    int32_t stereo_configured;
    int32_t stereo;
    int32_t stereo_previous;
    int32_t redundancy;
    int16_t analysis_window[2][kWindowSamples];
    uint8_t base_ring[2][kBaseRingSlots][kCopyBytes];
    int32_t ring_index;
    int32_t speech_flag;
    int32_t energy;
    int32_t dominant_channel;
    StereoAnalysisState stereo_analysis;
    EncoderChannelState channel[2];
};

static_assert(sizeof(DremkoEncoderContext) <= kEncoderContextBytes,
              "the encoder context must fit the size the library reports");

// Main frame bytes for a per-channel rate: at least 120, at most 160.
int32_t MainFrameBytes(int32_t bit_rate);
