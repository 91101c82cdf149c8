#include "test_signals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace test_signals {
namespace {

constexpr double kPi = 3.14159265358979323846;

int16_t Clip(double v) { return static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, std::round(v)))); }

}  // namespace

std::vector<int16_t> SpeechLike(int frames, uint32_t seed) {
    const int n = frames * kFrameSamples;
    std::vector<int16_t> out(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const double formants[3] = {700.0, 1200.0, 2600.0};
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double syllable = std::fmod(t, 0.4);
        const double envelope = syllable < 0.3 ? std::sin(kPi * syllable / 0.3) : 0.0;
        const double pitch = 120.0 + 30.0 * std::sin(2 * kPi * 0.7 * t);
        phase += 2 * kPi * pitch / kRate;
        double v = 0.0;
        for (int h = 1; h * pitch < 8000.0; ++h) {
            double gain = 0.0;
            for (double f : formants) gain += 1.0 / (1.0 + std::pow((h * pitch - f) / 150.0, 2));
            v += gain * std::sin(h * phase) / h;
        }
        out[i] = Clip(9000.0 * envelope * v + 30.0 * jitter(rng));
    }
    return out;
}

std::vector<int16_t> Chords(int frames) {
    const int n = frames * kFrameSamples;
    std::vector<int16_t> out(n);
    const double chords[3][3] = {{261.63, 329.63, 392.0}, {220.0, 277.18, 329.63}, {196.0, 246.94, 293.66}};
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const int c = static_cast<int>(t / 0.5) % 3;
        const double local = std::fmod(t, 0.5);
        const double envelope = std::min(1.0, local / 0.02) * std::exp(-2.0 * local);
        double v = 0.0;
        for (double f : chords[c])
            for (int h = 1; h <= 12 && h * f < 20000.0; ++h) v += std::sin(2 * kPi * h * f * t) / (h * h);
        out[i] = Clip(7000.0 * envelope * v);
    }
    return out;
}

std::vector<int16_t> Noise(int frames, double rms, uint32_t seed) {
    std::vector<int16_t> out(frames * kFrameSamples);
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, rms);
    for (auto& s : out) s = Clip(gauss(rng));
    return out;
}

std::vector<float> RandomFloats(int count, double scale, uint32_t seed) {
    std::vector<float> out(count);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-scale, scale);
    for (float& v : out) v = static_cast<float>(u(rng));
    return out;
}

std::vector<int16_t> Sweep(int frames, double amplitude) {
    const int n = frames * kFrameSamples;
    std::vector<int16_t> out(n);
    const double duration = static_cast<double>(n) / kRate;
    const double f0 = 50.0, f1 = 20000.0;
    const double k = std::log(f1 / f0) / duration;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        out[i] = Clip(amplitude * std::sin(2 * kPi * f0 * (std::exp(k * t) - 1.0) / k));
    }
    return out;
}

std::vector<int16_t> Tone(int frames, double frequency, double amplitude) {
    std::vector<int16_t> out(frames * kFrameSamples);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Clip(amplitude * std::sin(2 * kPi * frequency * static_cast<double>(i) / kRate));
    return out;
}

std::vector<int16_t> Planar(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
    const size_t frames = std::min(left.size(), right.size()) / kFrameSamples;
    std::vector<int16_t> out(2 * frames * kFrameSamples);
    for (size_t f = 0; f < frames; ++f) {
        std::copy_n(left.begin() + f * kFrameSamples, kFrameSamples, out.begin() + 2 * f * kFrameSamples);
        std::copy_n(right.begin() + f * kFrameSamples, kFrameSamples, out.begin() + (2 * f + 1) * kFrameSamples);
    }
    return out;
}

std::vector<int16_t> ReadRawSamples(const char* path) {
    std::vector<int16_t> samples;
    if (FILE* f = std::fopen(path, "rb")) {
        unsigned char bytes[8192];
        size_t n;
        while ((n = std::fread(bytes, 1, sizeof bytes, f)) > 1)
            for (size_t i = 0; i + 1 < n; i += 2)
                samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8)));
        std::fclose(f);
    }
    return samples;
}

}  // namespace test_signals
