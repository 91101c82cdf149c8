// What the GStreamer element tests share: the plugin loaded from the build,
// packets made and decoded by the library itself, the reference the elements
// are held to.
#pragma once
#include <gst/gst.h>

#include <cstdint>
#include <vector>

#include "payload_format.h"

constexpr int kFrameSamples = DREMKO_FRAME_SAMPLES;
constexpr GstClockTime kFrame = 20 * GST_MSECOND;

// Interleaved 48 kHz audio: a different tone and level in each channel, so
// that swapped or mixed channels show.
std::vector<int16_t> TwoTones(int channels, int frames);

struct EncodedFrame {
    std::vector<uint8_t> packet;
    int speech = 0;
    int level = 0;
};
// Encodes interleaved audio frame by frame with the library (the last frame padded with silence).
std::vector<EncodedFrame> EncodeDirect(const std::vector<int16_t>& pcm, const rtp::PayloadConfig& config, int copies);

struct Received {
    const std::vector<uint8_t>* packet;
    int lost_before;
};
// Decodes with the library as a receiver does: each packet with the number
// lost before it, silence for frames a long gap leaves out, and at the end
// the held-back frame (the last packet decoded again with an odd loss count,
// so that its copies rebuild nothing). Returns interleaved audio.
std::vector<int16_t> DecodeDirect(const std::vector<Received>& packets, const rtp::PayloadConfig& config);

// The samples of a buffer list, concatenated.
std::vector<int16_t> Samples(const std::vector<GstBuffer*>& buffers);
