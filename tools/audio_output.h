// Writing audio a block at a time: WAV, FLAC, Ogg Vorbis and AIFF files,
// and headerless PCM; to a file, a pipe, or the standard output (`-`).
#pragma once
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio_input.h"
#include "output_file.h"

enum class AudioType { kWav, kFlac, kOgg, kAiff, kRaw };

struct AudioOutput {
    OutputFile out;
    AudioType type = AudioType::kWav;
    SampleFormat bits = SampleFormat::kS16;
    int rate = 0;
    int channels = 0;
    int64_t expected_frames = -1;  // goes into a WAV header written to a pipe
    uint64_t frames = 0;
    SNDFILE* sound = nullptr;
    std::vector<uint8_t> bytes;
    std::vector<int32_t> words;
};

// The type from --type (`type_name`, may be empty) or else from the
// extension; `-` defaults to WAV.
bool ChooseAudioType(const std::string& name, const std::string& type_name, AudioType* type, std::string* error);
bool OpenAudioOutput(const std::string& name, AudioType type, SampleFormat bits, int rate, int channels,
                     int64_t expected_frames, AudioOutput* output, std::string* error);
// Interleaved floats, 1.0 full scale; integer formats round and clip.
bool WriteAudioBlock(AudioOutput* output, const float* samples, size_t frames, std::string* error);
bool CloseAudioOutput(AudioOutput* output, std::string* error);
void AbandonAudioOutput(AudioOutput* output);
