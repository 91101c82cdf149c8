#include "audio_output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "audio.h"
#include "fail.h"

namespace {

constexpr uint32_t kUnknownSize = 0xffffffff;  // what streaming writers put in a pipe's WAV header

std::string LowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

int Width(SampleFormat f) { return f == SampleFormat::kS16 ? 2 : f == SampleFormat::kS24 ? 3 : 4; }

int32_t Rounded(float x, double scale) {
    return static_cast<int32_t>(std::clamp(ScaledRound(x, scale), -scale, scale - 1.0));
}

void PutLittleEndian(std::vector<uint8_t>* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The RIFF header; sizes stay at the placeholder until the length is known.
std::vector<uint8_t> WavHeader(const AudioOutput& o, int64_t frames) {
    const bool real = o.bits == SampleFormat::kF32;
    const uint64_t data = frames < 0 ? kUnknownSize : static_cast<uint64_t>(frames) * o.channels * Width(o.bits);
    const uint32_t header_bytes = real ? 58 : 44;
    const uint64_t riff = data + header_bytes - 8;
    std::vector<uint8_t> h;
    auto text = [&h](const char* four) {
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(four[i]));
    };
    text("RIFF");
    PutLittleEndian(&h, riff > kUnknownSize ? kUnknownSize : riff, 4);
    text("WAVE");
    text("fmt ");
    PutLittleEndian(&h, real ? 18 : 16, 4);
    PutLittleEndian(&h, real ? 3 : 1, 2);  // IEEE float or integer PCM
    PutLittleEndian(&h, o.channels, 2);
    PutLittleEndian(&h, o.rate, 4);
    PutLittleEndian(&h, static_cast<uint64_t>(o.rate) * o.channels * Width(o.bits), 4);
    PutLittleEndian(&h, o.channels * Width(o.bits), 2);
    PutLittleEndian(&h, 8 * Width(o.bits), 2);
    if (real) {
        PutLittleEndian(&h, 0, 2);
        text("fact");
        PutLittleEndian(&h, 4, 4);
        PutLittleEndian(&h, frames < 0 ? kUnknownSize : static_cast<uint64_t>(frames), 4);
    }
    text("data");
    PutLittleEndian(&h, data > kUnknownSize ? kUnknownSize : data, 4);
    return h;
}

bool Put(AudioOutput* o, const std::vector<uint8_t>& bytes, std::string* error) {
    // An empty vector may have no storage at all, which fwrite must not be given.
    if (bytes.empty()) return true;
    if (std::fwrite(bytes.data(), 1, bytes.size(), o->out.file) == bytes.size()) return true;
    return Fail(error, "cannot write " + o->out.name + ": " + std::strerror(errno));
}

bool OpenSound(AudioOutput* o, std::string* error) {
    SF_INFO info{};
    info.samplerate = o->rate;
    info.channels = o->channels;
    const int sub = o->bits == SampleFormat::kS16 ? SF_FORMAT_PCM_16
                    : o->bits == SampleFormat::kS24 ? SF_FORMAT_PCM_24
                                                    : SF_FORMAT_FLOAT;
    if (o->type == AudioType::kFlac && o->bits == SampleFormat::kF32)
        return Fail(error, "cannot write " + o->out.name + ": FLAC holds 16 or 24 bits (use --bits 16 or 24)");
    info.format = o->type == AudioType::kOgg    ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                  : o->type == AudioType::kFlac ? SF_FORMAT_FLAC | sub
                                                : SF_FORMAT_AIFF | sub;
    std::fflush(o->out.file);
    o->sound = sf_open_fd(fileno(o->out.file), SFM_WRITE, &info, 0);
    if (!o->sound) return Fail(error, "cannot write " + o->out.name + ": " + sf_strerror(nullptr));
    return true;
}

}  // namespace

bool ChooseAudioType(const std::string& name, const std::string& type_name, AudioType* type, std::string* error) {
    const std::string ext = type_name.empty() ? (name == "-" ? "wav" : LowerExtension(name)) : type_name;
    if (ext == "wav") *type = AudioType::kWav;
    else if (ext == "flac") *type = AudioType::kFlac;
    else if (ext == "ogg" || ext == "oga") *type = AudioType::kOgg;
    else if (ext == "aiff" || ext == "aif") *type = AudioType::kAiff;
    else if (ext == "raw") *type = AudioType::kRaw;
    else return Fail(error, "cannot tell the audio format of " + name + " (use .wav, .flac, .ogg, .aiff or .raw, or --type)");
    return true;
}

bool OpenAudioOutput(const std::string& name, AudioType type, SampleFormat bits, int rate, int channels,
                     int64_t expected_frames, AudioOutput* o, std::string* error) {
    o->type = type;
    o->bits = bits;
    o->rate = rate;
    o->channels = channels;
    o->expected_frames = expected_frames;
    o->frames = 0;
    if (!OpenOutput(name, &o->out, error)) return false;
    const bool opened = type == AudioType::kRaw  ? true
                        : type == AudioType::kWav ? Put(o, WavHeader(*o, o->out.seekable ? -1 : expected_frames), error)
                                                  : OpenSound(o, error);
    if (!opened) AbandonAudioOutput(o);
    return opened;
}

bool WriteAudioBlock(AudioOutput* o, const float* samples, size_t frames, std::string* error) {
    const size_t count = frames * o->channels;
    o->frames += frames;
    if (o->sound) {
        sf_count_t written;
        if (o->type == AudioType::kOgg || o->bits == SampleFormat::kF32) {
            written = sf_writef_float(o->sound, samples, static_cast<sf_count_t>(frames));
        } else {
            // Whole-range integers, so that libsndfile keeps the samples as rounded here.
            const bool wide = o->bits == SampleFormat::kS24;
            o->words.resize(count);
            for (size_t i = 0; i < count; ++i)
                o->words[i] = static_cast<int32_t>(static_cast<uint32_t>(Rounded(samples[i], wide ? 8388608.0 : 32768.0))
                                                   << (wide ? 8 : 16));
            written = sf_writef_int(o->sound, o->words.data(), static_cast<sf_count_t>(frames));
        }
        if (written == static_cast<sf_count_t>(frames)) return true;
        Fail(error, "cannot write " + o->out.name + ": " + sf_strerror(o->sound));
        AbandonAudioOutput(o);
        return false;
    }
    o->bytes.clear();
    for (size_t i = 0; i < count; ++i) {
        if (o->bits == SampleFormat::kF32) {
            uint32_t word;
            std::memcpy(&word, &samples[i], sizeof word);
            PutLittleEndian(&o->bytes, word, 4);
        } else {
            const bool wide = o->bits == SampleFormat::kS24;
            PutLittleEndian(&o->bytes, static_cast<uint32_t>(Rounded(samples[i], wide ? 8388608.0 : 32768.0)),
                            wide ? 3 : 2);
        }
    }
    if (Put(o, o->bytes, error)) return true;
    AbandonAudioOutput(o);
    return false;
}

bool CloseAudioOutput(AudioOutput* o, std::string* error) {
    if (o->sound) {
        sf_write_sync(o->sound);
        const int failed = sf_close(o->sound);
        o->sound = nullptr;
        if (failed) {
            Fail(error, "cannot write " + o->out.name + ": " + sf_error_number(failed));
            AbandonAudioOutput(o);
            return false;
        }
    } else if (o->type == AudioType::kWav && o->out.seekable) {
        if (std::fseek(o->out.file, 0, SEEK_SET) != 0 ||
            !Put(o, WavHeader(*o, static_cast<int64_t>(o->frames)), error)) {
            Fail(error, "cannot write " + o->out.name + ": " + std::strerror(errno));
            AbandonAudioOutput(o);
            return false;
        }
    }
    return CommitOutput(&o->out, error);
}

void AbandonAudioOutput(AudioOutput* o) {
    if (o->sound) sf_close(o->sound);
    o->sound = nullptr;
    AbandonOutput(&o->out);
}
