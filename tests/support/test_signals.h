// Real-looking deterministic test signals at 48 kHz, 16-bit.
#pragma once
#include <cstdint>
#include <vector>

#include "interface/packet_layout.h"

namespace test_signals {

constexpr int kRate = 48000;

// Voiced speech-like sound: a gliding pitch with harmonics shaped by
// formants, syllables separated by short pauses.
std::vector<int16_t> SpeechLike(int frames, uint32_t seed = 1);
// Music-like chords: several notes with harmonics and slow attacks.
std::vector<int16_t> Chords(int frames);
// White noise of the given RMS.
std::vector<int16_t> Noise(int frames, double rms, uint32_t seed = 7);
// Logarithmic sine sweep from 50 Hz to 20 kHz.
std::vector<int16_t> Sweep(int frames, double amplitude = 12000.0);
// A pure tone.
std::vector<int16_t> Tone(int frames, double frequency, double amplitude);
// The 16-bit little-endian samples of a raw file (such as the speech
// fixture, tests/data/speech_48k.raw), whatever the host's byte order;
// empty if the file cannot be read.
std::vector<int16_t> ReadRawSamples(const char* path);
// Floats drawn uniformly from [-scale, scale).
std::vector<float> RandomFloats(int count, double scale, uint32_t seed);
// Planar stereo frames (960 of channel 0, 960 of channel 1, ...) from two mono signals.
std::vector<int16_t> Planar(const std::vector<int16_t>& left, const std::vector<int16_t>& right);

}  // namespace test_signals
