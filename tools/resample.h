// Sample-rate conversion with libsoxr at high quality, a block at a time.
#pragma once
#include <soxr.h>

#include <string>
#include <vector>

struct Resampler {
    soxr_t soxr = nullptr;  // none when the rates agree
    int channels = 0;
    double ratio = 1.0;
    std::vector<float> scratch;
};

bool StartResampler(int from_rate, int to_rate, int channels, Resampler* resampler, std::string* error);
// Converts interleaved frames and appends what comes out to `out`; with
// `last` set (and any input) it also drains the converter.
bool Resample(Resampler* resampler, const float* in, size_t frames, bool last, std::vector<float>* out,
              std::string* error);
void StopResampler(Resampler* resampler);
