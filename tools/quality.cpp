#include "quality.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "stream.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Frames whose reference is quieter than this (RMS in 16-bit units, about
// -60 dBFS) are silence: their SNR and spectrum say nothing about the codec.
constexpr double kSilenceRms = 32.0;
constexpr double kMinSegmentSnr = -10.0;
constexpr double kMaxSegmentSnr = 35.0;
constexpr int kFftSize = 2048;
constexpr double kSpectrumFloor = 1e-9;  // -90 dB of full scale: keeps the log finite
// Powers are compared over groups of bins (about 94 Hz): single periodogram
// bins of noise-like sound scatter by several dB even between identical spectra.
constexpr int kBinsPerGroup = 4;
constexpr int kBandEdgesHz[] = {0, 2000, 4000, 8000, 12000, 16000, 20000};

std::vector<double> Channel(const std::vector<int16_t>& pcm, int channels, int c) {
    std::vector<double> out(pcm.size() / channels);
    for (size_t i = 0; i < out.size(); ++i) out[i] = pcm[i * channels + c];
    return out;
}

void Fft(std::vector<std::complex<double>>* data) {
    std::vector<std::complex<double>>& a = *data;
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t j = 0; j < len / 2; ++j, w *= step) {
                const std::complex<double> u = a[i + j];
                const std::complex<double> v = a[i + j + len / 2] * w;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
            }
        }
    }
}

// Power spectrum of a Hann-windowed block, in units where full-scale white
// noise has power 1 in every bin.
std::vector<double> PowerSpectrum(const double* x) {
    std::vector<std::complex<double>> bins(kFftSize);
    double window_energy = 0.0;
    for (int i = 0; i < kFftSize; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * i / kFftSize);
        bins[i] = w * x[i] / 32768.0;
        window_energy += w * w;
    }
    Fft(&bins);
    std::vector<double> power(kFftSize / 2);
    for (int k = 0; k < kFftSize / 2; ++k) power[k] = std::norm(bins[k]) / window_energy;
    return power;
}

double Rms(const double* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(n));
}

void AddSegmentalSnr(const std::vector<double>& ref, const std::vector<double>& dec, double* sum, int* count) {
    for (size_t at = 0; at + kFrameSamples <= ref.size(); at += kFrameSamples) {
        if (Rms(&ref[at], kFrameSamples) < kSilenceRms) continue;
        double signal = 0.0;
        double noise = 0.0;
        for (size_t i = at; i < at + kFrameSamples; ++i) {
            signal += ref[i] * ref[i];
            noise += (ref[i] - dec[i]) * (ref[i] - dec[i]);
        }
        const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
        *sum += std::clamp(snr, kMinSegmentSnr, kMaxSegmentSnr);
        ++*count;
    }
}

void AddBandDistances(const std::vector<double>& ref, const std::vector<double>& dec, std::vector<double>* sums,
                      int* count) {
    const double hz_per_bin = static_cast<double>(kSampleRate) / kFftSize;
    for (size_t at = 0; at + kFftSize <= ref.size(); at += kFftSize / 2) {
        if (Rms(&ref[at], kFftSize) < kSilenceRms) continue;
        const std::vector<double> pr = PowerSpectrum(&ref[at]);
        const std::vector<double> pd = PowerSpectrum(&dec[at]);
        for (size_t b = 0; b + 1 < std::size(kBandEdgesHz); ++b) {
            const int first = static_cast<int>(std::ceil(kBandEdgesHz[b] / hz_per_bin));
            const int last = static_cast<int>(std::ceil(kBandEdgesHz[b + 1] / hz_per_bin));
            double squares = 0.0;
            int groups = 0;
            for (int k = first; k + kBinsPerGroup <= last; k += kBinsPerGroup, ++groups) {
                double r = kSpectrumFloor;
                double d = kSpectrumFloor;
                for (int g = k; g < k + kBinsPerGroup; ++g) {
                    r += pr[g];
                    d += pd[g];
                }
                squares += std::pow(10.0 * std::log10(r / d), 2);
            }
            (*sums)[b] += std::sqrt(squares / groups);
        }
        ++*count;
    }
}

}  // namespace

Quality MeasureQuality(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int channels) {
    Quality q;
    double signal = 0.0;
    double noise = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double r = reference[i];
        signal += r * r;
        noise += (r - decoded[i]) * (r - decoded[i]);
    }
    // The floor keeps silence against silence at 0 dB instead of undefined.
    q.snr_db = 10.0 * std::log10((signal + 1.0) / (noise + 1.0));

    double segment_sum = 0.0;
    int segments = 0;
    std::vector<double> band_sums(std::size(kBandEdgesHz) - 1, 0.0);
    int blocks = 0;
    for (int c = 0; c < channels; ++c) {
        const std::vector<double> ref = Channel(reference, channels, c);
        const std::vector<double> dec = Channel(decoded, channels, c);
        AddSegmentalSnr(ref, dec, &segment_sum, &segments);
        AddBandDistances(ref, dec, &band_sums, &blocks);
    }
    q.segmental_snr_db = segments ? segment_sum / segments : 0.0;
    for (size_t b = 0; b < band_sums.size(); ++b)
        q.bands.push_back({kBandEdgesHz[b], kBandEdgesHz[b + 1], blocks ? band_sums[b] / blocks : 0.0});
    return q;
}
