// The encoder context: one plain structure in caller memory.
#pragma once
#include <cstdint>

#include "core/core_encoder.h"
#include "interface/packet_layout.h"
#include "speech/speech_detector.h"
#include "stereo/stereo_analysis.h"

constexpr int kEncoderContextBytes = 40924;
constexpr int kWindowSamples = 2 * kFrameSamples;  // the previous frame and this one
// Frames t - 2 ... t - 2 kMaxCopies are in the ring while frame t is added.
constexpr int kBaseRingSlots = 2 * kMaxCopies + 1;

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
