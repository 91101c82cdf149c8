// Sample-rate conversion with libsoxr at high quality.
#pragma once
#include <cstdint>
#include <string>

#include "audio.h"

// Converts the audio to `rate`, giving exactly `frames` sample frames
// (the converter's output is cut or padded with silence to that length).
bool Resample(const Audio& in, int rate, uint64_t frames, Audio* out, std::string* error);
