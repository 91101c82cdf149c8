#include "audio_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "fail.h"

namespace {

int BytesPerSample(SampleFormat f) { return f == SampleFormat::kS16 ? 2 : f == SampleFormat::kS24 ? 3 : 4; }

int SoundBytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 4;
    }
}

// libsndfile shortens a file whose header claims more data than it holds;
// its log keeps the claim ("data : 400000 (should be 99956)").
bool LogSaysShort(SNDFILE* sound) {
    char log[8192] = {};
    sf_command(sound, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* line = log; line && *line; line = std::strchr(line, '\n') ? std::strchr(line, '\n') + 1 : nullptr)
        if (std::strncmp(line, "data", 4) == 0) {
            const char* end = std::strchr(line, '\n');
            const std::string text(line, end ? end - line : std::strlen(line));
            return text.find("should be") != std::string::npos;
        }
    return false;
}

float Sample(const uint8_t* at, SampleFormat f) {
    if (f == SampleFormat::kS16) return static_cast<int16_t>(at[0] | at[1] << 8) / 32768.0f;
    if (f == SampleFormat::kS24) {
        int32_t v = at[0] | at[1] << 8 | at[2] << 16;
        if (v & 0x800000) v -= 0x1000000;
        return static_cast<float>(v / 8388608.0);
    }
    const uint32_t bits = at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool OpenSound(const std::string& name, AudioInput* in, std::string* error) {
    SF_INFO info{};
    const bool pipe = name == "-";
    in->sound = pipe ? sf_open_fd(0, SFM_READ, &info, 0) : sf_open(name.c_str(), SFM_READ, &info);
    if (!in->sound)
        return Fail(error, "cannot read " + in->name + ": " + sf_strerror(nullptr) +
                               (pipe ? " (from a pipe, give WAV or raw PCM with --raw-rate)" : ""));
    in->rate = info.samplerate;
    in->channels = info.channels;
    // A pipe's header may hold a placeholder length instead of the real one.
    const double bytes = static_cast<double>(info.frames) * info.channels * SoundBytesPerSample(info.format);
    if (info.frames > 0 && bytes < 0x7fff0000) in->declared_frames = info.frames;
    in->shorter_than_header = LogSaysShort(in->sound);
    return true;
}

}  // namespace

bool OpenAudioInput(const std::string& name, const RawLayout& raw, AudioInput* in, std::string* error) {
    *in = AudioInput{};
    in->name = name == "-" ? "standard input" : name;
    in->layout = raw;
    if (name != "-") {
        // libsndfile's own messages for these are vaguer than the system's.
        struct stat info;
        if (stat(name.c_str(), &info) != 0) return Fail(error, "cannot read " + name + ": " + std::strerror(errno));
        if (S_ISDIR(info.st_mode)) return Fail(error, "cannot read " + name + ": it is a folder");
    }
    if (!raw.used) return OpenSound(name, in, error);
    in->raw = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!in->raw) return Fail(error, "cannot read " + name + ": " + std::strerror(errno));
    in->rate = raw.rate;
    in->channels = raw.channels;
    return true;
}

int64_t ReadAudioBlock(AudioInput* in, float* samples, int64_t frames, std::string* error) {
    int64_t got = 0;
    if (in->sound) {
        got = sf_readf_float(in->sound, samples, frames);
        if (got < frames && sf_error(in->sound) != SF_ERR_NO_ERROR) {
            Fail(error, "cannot read " + in->name + ": " + sf_strerror(in->sound));
            return -1;
        }
    } else {
        const size_t frame_bytes = static_cast<size_t>(in->channels) * BytesPerSample(in->layout.format);
        in->bytes.resize(frame_bytes * frames);
        const size_t bytes = std::fread(in->bytes.data(), 1, in->bytes.size(), in->raw);
        if (bytes < in->bytes.size() && std::ferror(in->raw)) {
            Fail(error, "cannot read " + in->name + ": " + std::strerror(errno));
            return -1;
        }
        got = static_cast<int64_t>(bytes / frame_bytes);
        const int width = BytesPerSample(in->layout.format);
        for (int64_t i = 0; i < got * in->channels; ++i) samples[i] = Sample(&in->bytes[i * width], in->layout.format);
    }
    in->frames_read += got;
    if (got == 0 && in->declared_frames >= 0 && in->frames_read < static_cast<uint64_t>(in->declared_frames))
        in->shorter_than_header = true;
    return got;
}

void CloseAudioInput(AudioInput* in) {
    if (in->sound) sf_close(in->sound);
    if (in->raw && in->raw != stdin) std::fclose(in->raw);
    in->sound = nullptr;
    in->raw = nullptr;
}
