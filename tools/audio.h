// Audio in memory, and the conversions between float and 16-bit samples
// and between channel layouts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Interleaved float samples in [-1, 1).
struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
};

inline uint64_t FrameCount(const Audio& a) { return a.channels ? a.samples.size() / a.channels : 0; }

// Rounds to 16 bits and clips to the 16-bit range.
std::vector<int16_t> ToPcm16(const std::vector<float>& samples);
std::vector<float> FromPcm16(const std::vector<int16_t>& samples);

// Brings the audio to the wanted channel count (1 or 2): several channels
// are averaged to mono, mono is copied to both sides of stereo.
void ConvertChannels(Audio* audio, int channels);
