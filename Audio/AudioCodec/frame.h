// The frame as every subsystem counts it: 20 ms of 48 kHz audio, and the
// core frame each channel's 20 ms are coded into. The numbers a host also
// needs come from the public header; the packet around the core frames is
// the interface's (interface/packet_layout.h).
#pragma once
#include "dremko.h"

constexpr int kSampleRate = DREMKO_SAMPLE_RATE;
constexpr int kFrameSamples = DREMKO_FRAME_SAMPLES;  // per channel; also the coefficients per frame
constexpr int kFramesPerSecond = kSampleRate / kFrameSamples;
constexpr int kCoreFrameBytes = DREMKO_CORE_FRAME_BYTES;
constexpr int kCoreFrameBits = 8 * kCoreFrameBytes;
