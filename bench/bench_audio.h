// The audio every benchmark case codes: recorded speech, music-like chords,
// synthetic voiced speech and noise, about ten seconds at 48 kHz.
#pragma once
#include <cstdint>
#include <vector>

#include "interface/packet_layout.h"
constexpr double kFrameMicros = 20000.0;

struct BenchAudio {
    std::vector<int16_t> mono;    // frames of 960 samples
    std::vector<int16_t> planar;  // stereo frames: 960 of channel 0, then 960 of channel 1
    std::vector<int16_t> interleaved;  // the same stereo frames, sample pairs (for libopus)
    int frames;
};

// The whole program, or only its first `frames` frames when that is smaller.
BenchAudio LoadBenchAudio(int frames);

// received[i] tells whether packet i arrives: about one packet in ten is
// lost, alone or in short bursts; the first and last always arrive.
std::vector<bool> LossPattern(int frames);
