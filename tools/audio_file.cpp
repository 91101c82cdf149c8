#include "audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fail.h"
#include "output_file.h"

namespace {

std::string LowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

int FormatFor(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == "wav") return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (ext == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (ext == "ogg" || ext == "oga") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    if (ext == "aiff" || ext == "aif") return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    return 0;
}

}  // namespace

bool ReadAudio(const std::string& path, Audio* audio, std::string* error) {
    // libsndfile's own message for a missing file is vaguer than the system's.
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) return Fail(error, "cannot read " + path + ": " + std::strerror(errno));
    std::fclose(probe);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return Fail(error, "cannot read " + path + ": " + sf_strerror(nullptr));
    audio->rate = info.samplerate;
    audio->channels = info.channels;
    audio->samples.assign(static_cast<size_t>(info.frames) * info.channels, 0.0f);
    const sf_count_t got = sf_readf_float(file, audio->samples.data(), info.frames);
    sf_close(file);
    if (got != info.frames) return Fail(error, "cannot read " + path + ": the file ends early");
    if (info.frames == 0) return Fail(error, "cannot read " + path + ": it holds no audio");
    return true;
}

bool CheckAudioExtension(const std::string& path, std::string* error) {
    if (FormatFor(path) != 0) return true;
    *error = "cannot tell the audio format of " + path + " (use .wav, .flac, .ogg or .aiff)";
    return false;
}

bool WriteAudio(const std::string& path, const Audio& audio, std::string* error) {
    if (!CheckAudioExtension(path, error)) return false;
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = audio.channels;
    info.format = FormatFor(path);
    const std::string temporary = TemporaryPath(path);
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) return Fail(error, "cannot write " + path + ": " + sf_strerror(nullptr));
    const std::vector<int16_t> pcm = ToPcm16(audio.samples);
    const sf_count_t frames = static_cast<sf_count_t>(FrameCount(audio));
    const bool written = sf_writef_short(file, pcm.data(), frames) == frames;
    if (!written) *error = "cannot write " + path + ": " + sf_strerror(file);
    sf_close(file);
    if (!written) {
        std::remove(temporary.c_str());
        return false;
    }
    return CommitOutput(temporary, path, error);
}
