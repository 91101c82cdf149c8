#include "demo_signal.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "stream.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = kSampleRate;
constexpr double kPeak = 0.6;

// A two-pole resonator whose centre and bandwidth may change per sample.
struct Resonator {
    double y1 = 0.0;
    double y2 = 0.0;
};

double Resonate(Resonator* r, double x, double centre_hz, double bandwidth_hz) {
    const double radius = std::exp(-kPi * bandwidth_hz / kRate);
    const double y =
        (1.0 - radius) * x + 2.0 * radius * std::cos(2.0 * kPi * centre_hz / kRate) * r->y1 - radius * radius * r->y2;
    r->y2 = r->y1;
    r->y1 = y;
    return y;
}

struct Vowel {
    double formants[4];
};

// Formant frequencies of the vowels a, i, u, e, o.
constexpr Vowel kVowels[] = {{{730, 1090, 2440, 3400}},
                             {{270, 2290, 3010, 3700}},
                             {{300, 870, 2240, 3300}},
                             {{530, 1840, 2480, 3500}},
                             {{570, 840, 2410, 3300}}};
constexpr double kBandwidths[4] = {80, 100, 150, 200};

// Syllables of a fricative, a voiced vowel gliding from the last one, and a
// pause; the pitch falls across the phrase as in a spoken sentence.
void AddSpeech(double seconds, std::vector<double>* out) {
    constexpr double kFricative = 0.07, kVowel = 0.22, kPause = 0.06;
    constexpr double kSyllable = kFricative + kVowel + kPause;
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 1.0);
    Resonator formant[4];
    Resonator hiss;
    double phase = 0.0;
    double glottal = 0.0;
    const size_t n = static_cast<size_t>(seconds * kRate);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        const int syllable = static_cast<int>(t / kSyllable);
        const double local = t - syllable * kSyllable;
        const Vowel& from = kVowels[(syllable + 4) % 5];
        const Vowel& to = kVowels[syllable % 5];
        double sample = 0.0;
        if (local < kFricative) {
            // 's'-like hiss: noise through a broad high resonance.
            const double envelope = std::sin(kPi * local / kFricative);
            sample = 0.25 * envelope * Resonate(&hiss, noise(rng), 6500.0, 3000.0);
        } else if (local < kFricative + kVowel) {
            const double v = (local - kFricative) / kVowel;
            const double pitch = 190.0 - 60.0 * t / seconds + 25.0 * std::sin(kPi * v);
            phase += pitch / kRate;
            const double pulse = phase >= 1.0 ? 1.0 : 0.0;
            phase -= std::floor(phase);
            glottal = 0.9 * glottal + pulse;  // spectral tilt of the glottal source
            const double glide = std::min(1.0, v / 0.3);
            const double envelope = std::sin(kPi * v);
            for (int f = 0; f < 4; ++f) {
                const double centre = from.formants[f] + glide * (to.formants[f] - from.formants[f]);
                sample += Resonate(&formant[f], glottal, centre, kBandwidths[f]) / (f + 1);
            }
            sample *= 8.0 * envelope;
        }
        out->push_back(sample);
    }
}

// Chords with a bass line and a hi-hat: harmonics up to the high band.
void AddMusic(double seconds, std::vector<double>* out) {
    constexpr double kChords[4][4] = {{261.63, 329.63, 392.00, 523.25},
                                      {220.00, 261.63, 329.63, 440.00},
                                      {174.61, 220.00, 261.63, 349.23},
                                      {196.00, 246.94, 293.66, 392.00}};
    constexpr double kChordLength = 1.0, kBeat = 0.25;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    Resonator cymbal;
    const size_t n = static_cast<size_t>(seconds * kRate);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        const int c = static_cast<int>(t / kChordLength) % 4;
        const double since_chord = std::fmod(t, kChordLength);
        const double since_beat = std::fmod(t, kBeat);
        double sample = 0.0;
        for (double f : kChords[c]) {
            const double envelope = std::min(1.0, since_chord / 0.005) * std::exp(-2.5 * since_chord);
            for (int h = 1; h <= 16 && h * f < 20000.0; ++h)
                sample += envelope * std::sin(2.0 * kPi * h * f * t) * std::exp(-0.35 * h) / 4.0;
        }
        const double bass = kChords[c][0] / 2.0;
        sample += 0.5 * std::exp(-4.0 * since_beat) * std::sin(2.0 * kPi * bass * t);
        sample += 0.15 * std::exp(-40.0 * since_beat) * Resonate(&cymbal, noise(rng), 10000.0, 6000.0);
        out->push_back(sample);
    }
}

}  // namespace

Audio DemoSignal() {
    std::vector<double> signal;
    AddSpeech(4.0, &signal);
    AddMusic(4.0, &signal);
    double peak = 0.0;
    for (double v : signal) peak = std::max(peak, std::fabs(v));
    Audio audio;
    audio.rate = kSampleRate;
    audio.channels = 1;
    for (double v : signal) audio.samples.push_back(static_cast<float>(kPeak * v / peak));
    return audio;
}
