#include "audio.h"

#include <algorithm>
#include <cmath>

std::vector<int16_t> ToPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::round(static_cast<double>(samples[i]) * 32768.0);
        pcm[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return pcm;
}

std::vector<float> FromPcm16(const std::vector<int16_t>& samples) {
    std::vector<float> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) out[i] = static_cast<float>(samples[i] / 32768.0);
    return out;
}

void ConvertChannels(Audio* audio, int channels) {
    if (audio->channels == channels) return;
    const uint64_t frames = FrameCount(*audio);
    std::vector<float> out(frames * channels);
    for (uint64_t f = 0; f < frames; ++f) {
        const float* in = &audio->samples[f * audio->channels];
        if (channels == 2) {  // only mono is ever widened
            out[2 * f] = out[2 * f + 1] = in[0];
            continue;
        }
        double sum = 0.0;
        for (int c = 0; c < audio->channels; ++c) sum += in[c];
        out[f] = static_cast<float>(sum / audio->channels);
    }
    audio->samples = std::move(out);
    audio->channels = channels;
}
