// Audio in memory, and the mapping of input channels to the one or two
// channels the codec takes.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// Interleaved float samples, 1.0 full scale.
struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
};

struct ChannelChoice {
    int count = 0;         // 0: as the input (mono or stereo); 1: --mono; 2: --stereo
    bool downmix = false;  // more than two channels mixed down
    int picks[2] = {0, 0};  // --channels: the channels kept, counted from 1; 0 for none
};

// The number of channels coded from `input_channels`; more than two need a
// choice, and `hint` names the options that make one.
bool CodedChannels(const ChannelChoice& choice, int input_channels, const std::string& name, const std::string& hint,
                   int* channels, std::string* error);
// Maps `frames` interleaved sample frames; `out` is replaced.
void MapChannels(const ChannelChoice& choice, int input_channels, int channels, const float* in, size_t frames,
                 std::vector<float>* out);

// x times a power of two, rounded half away from zero as std::round rounds,
// without its library call. The product has at most 24 significant bits, so
// below 2^30 adding one half is exact (or, for a product too small to reach
// one half, rounds to it) and truncation finishes the rounding; beyond, and
// for NaN, std::round itself.
inline double ScaledRound(float x, double power_of_two) {
    const double y = static_cast<double>(x) * power_of_two;
    if (!(std::fabs(y) < 1073741824.0)) return std::round(y);
    return static_cast<double>(static_cast<int32_t>(y + std::copysign(0.5, y)));
}
