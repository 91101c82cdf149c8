#include "bench_audio.h"

#include <cstddef>

#include "test_signals.h"

namespace {

std::vector<int16_t> ReadSpeechFixture() {
    std::vector<int16_t> samples = test_signals::ReadRawSamples(DREMKO_SPEECH_FIXTURE);
    samples.resize(samples.size() / kFrameSamples * kFrameSamples);
    return samples;
}

void Append(std::vector<int16_t>* to, const std::vector<int16_t>& from) { to->insert(to->end(), from.begin(), from.end()); }

}  // namespace

BenchAudio LoadBenchAudio(int frames) {
    BenchAudio audio;
    Append(&audio.mono, ReadSpeechFixture());
    Append(&audio.mono, test_signals::Chords(160));
    Append(&audio.mono, test_signals::SpeechLike(160, 3));
    Append(&audio.mono, test_signals::Noise(40, 1500.0));
    audio.frames = static_cast<int>(audio.mono.size() / kFrameSamples);
    if (frames < audio.frames) audio.frames = frames;
    audio.mono.resize(static_cast<size_t>(audio.frames) * kFrameSamples);

    // Channel 1 plays the same program half of it later, a little quieter.
    std::vector<int16_t> right(audio.mono.size());
    const size_t shift = static_cast<size_t>(audio.frames / 2) * kFrameSamples;
    for (size_t i = 0; i < right.size(); ++i)
        right[i] = static_cast<int16_t>(audio.mono[(i + shift) % right.size()] * 3 / 4);
    audio.planar = test_signals::Planar(audio.mono, right);
    audio.interleaved.resize(2 * audio.mono.size());
    for (size_t i = 0; i < audio.mono.size(); ++i) {
        audio.interleaved[2 * i] = audio.mono[i];
        audio.interleaved[2 * i + 1] = right[i];
    }
    return audio;
}

std::vector<bool> LossPattern(int frames) {
    std::vector<bool> received(static_cast<size_t>(frames), true);
    uint32_t state = 2024;
    bool lost = false;
    for (int i = 1; i + 1 < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const uint32_t u = state >> 16;          // 0 ... 65535
        lost = lost ? u < 26214 : u < 4369;      // bursts of 1.7 frames on average, about 10 % lost
        received[static_cast<size_t>(i)] = !lost;
    }
    return received;
}
