// Reading audio a block at a time: any file libsndfile reads, the standard
// input (`-`, a WAV or another format libsndfile can read from a pipe), or
// headerless PCM described by the --raw-* options.
#pragma once
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class SampleFormat { kS16, kS24, kF32 };

struct RawLayout {
    bool used = false;  // any --raw-* option makes the input raw
    int rate = 48000;
    int channels = 2;
    SampleFormat format = SampleFormat::kS16;
};

struct AudioInput {
    std::string name;
    SNDFILE* sound = nullptr;
    FILE* raw = nullptr;
    RawLayout layout;
    int rate = 0;
    int channels = 0;
    int64_t declared_frames = -1;  // from the header, when it gives a real length
    uint64_t frames_read = 0;
    bool shorter_than_header = false;  // known at the end of the input
    std::vector<uint8_t> bytes;        // raw input on its way to floats
};

bool OpenAudioInput(const std::string& name, const RawLayout& raw, AudioInput* input, std::string* error);
// Reads up to `frames` sample frames as interleaved floats (1.0 is full
// scale; float input may go beyond). Returns the count, 0 at the end, -1 on failure.
int64_t ReadAudioBlock(AudioInput* input, float* samples, int64_t frames, std::string* error);
void CloseAudioInput(AudioInput* input);
