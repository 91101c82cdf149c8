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
constexpr size_t kBands = std::size(kBandEdgesHz) - 1;
// A band of a block is compared only when the input has sound there: a mean
// power per bin of -80 dB of full scale or more. Below, the distance would
// measure the codec's noise against nothing.
constexpr double kBandFloor = 1e-8;

// The window, its energy and the transform's bit-reversed order and
// twiddles, made once. The twiddles of the stage whose butterflies span
// `half` bins sit at [half, 2 half), so each stage reads them in order.
struct SpectrumTables {
    double window[kFftSize];
    double window_energy = 0.0;
    int reversed[kFftSize];
    double twiddle_re[kFftSize];
    double twiddle_im[kFftSize];
};

const SpectrumTables& Tables() {
    static const SpectrumTables tables = [] {
        SpectrumTables t;
        for (int i = 0; i < kFftSize; ++i) {
            t.window[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * i / kFftSize);
            t.window_energy += t.window[i] * t.window[i];
            int r = 0;
            for (int bit = 1, mirror = kFftSize >> 1; bit < kFftSize; bit <<= 1, mirror >>= 1)
                if (i & bit) r |= mirror;
            t.reversed[i] = r;
        }
        for (int half = 1; half < kFftSize; half <<= 1)
            for (int j = 0; j < half; ++j) {
                const std::complex<double> w = std::polar(1.0, -2.0 * kPi * (j * (kFftSize / (2 * half))) / kFftSize);
                t.twiddle_re[half + j] = w.real();
                t.twiddle_im[half + j] = w.imag();
            }
        return t;
    }();
    return tables;
}

// On x86-64 Linux the butterflies are compiled twice, for the baseline and
// for AVX2, and the loader picks the one the processor runs: four lanes
// instead of two, the same operations on each value (no contraction), so the
// same results.
#if defined(__x86_64__) && defined(__linux__)
#define WIDEST_LANES __attribute__((target_clones("avx2", "default"), noinline))
#else
#define WIDEST_LANES
#endif

// Radix 2 in place, the real and imaginary parts in separate arrays so the
// butterflies of a block run over contiguous lanes.
WIDEST_LANES void Fft(double* re, double* im) {
    const SpectrumTables& t = Tables();
    for (int i = 0; i < kFftSize; ++i) {
        const int j = t.reversed[i];
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (int half = 1; half < kFftSize; half <<= 1) {
        const double* wr = t.twiddle_re + half;
        const double* wi = t.twiddle_im + half;
        for (int start = 0; start < kFftSize; start += 2 * half) {
            double* ar = re + start;
            double* ai = im + start;
            double* br = ar + half;
            double* bi = ai + half;
            for (int j = 0; j < half; ++j) {
                const double vr = br[j] * wr[j] - bi[j] * wi[j];
                const double vi = br[j] * wi[j] + bi[j] * wr[j];
                br[j] = ar[j] - vr;
                bi[j] = ai[j] - vi;
                ar[j] = ar[j] + vr;
                ai[j] = ai[j] + vi;
            }
        }
    }
}

// Power spectra of two Hann-windowed blocks, in units where full-scale white
// noise has power 1 in every bin. One transform serves both: x in the real
// part, y in the imaginary, separated by the spectra's symmetry.
void PowerSpectra(const double* x, const double* y, double* px, double* py) {
    const SpectrumTables& t = Tables();
    double re[kFftSize];
    double im[kFftSize];
    for (int i = 0; i < kFftSize; ++i) {
        re[i] = t.window[i] * x[i] / 32768.0;
        im[i] = t.window[i] * y[i] / 32768.0;
    }
    Fft(re, im);
    const double scale = 0.25 / t.window_energy;
    for (int k = 0; k < kFftSize / 2; ++k) {
        const int m = (kFftSize - k) % kFftSize;
        px[k] = std::norm(std::complex<double>(re[k] + re[m], im[k] - im[m])) * scale;
        py[k] = std::norm(std::complex<double>(re[k] - re[m], im[k] + im[m])) * scale;
    }
}

double Rms(const double* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(n));
}

// The segment of one channel that starts at `at`.
void AddSegment(QualityMeter* m, const double* ref, const double* dec) {
    if (Rms(ref, kFrameSamples) < kSilenceRms) return;
    double signal = 0.0;
    double noise = 0.0;
    for (int i = 0; i < kFrameSamples; ++i) {
        signal += ref[i] * ref[i];
        noise += (ref[i] - dec[i]) * (ref[i] - dec[i]);
    }
    const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
    m->segment_sum += std::clamp(snr, kMinSegmentSnr, kMaxSegmentSnr);
    ++m->segments;
}

void AddBlock(QualityMeter* m, const double* ref, const double* dec) {
    if (Rms(ref, kFftSize) < kSilenceRms) return;
    const double hz_per_bin = static_cast<double>(kSampleRate) / kFftSize;
    double pr[kFftSize / 2];
    double pd[kFftSize / 2];
    PowerSpectra(ref, dec, pr, pd);
    for (size_t b = 0; b < kBands; ++b) {
        const int first = static_cast<int>(std::ceil(kBandEdgesHz[b] / hz_per_bin));
        const int last = static_cast<int>(std::ceil(kBandEdgesHz[b + 1] / hz_per_bin));
        double power = 0.0;
        for (int k = first; k < last; ++k) power += pr[k];
        if (power < kBandFloor * (last - first)) continue;
        double squares = 0.0;
        int groups = 0;
        for (int k = first; k + kBinsPerGroup <= last; k += kBinsPerGroup, ++groups) {
            double r = kSpectrumFloor;
            double d = kSpectrumFloor;
            for (int g = k; g < k + kBinsPerGroup; ++g) {
                r += pr[g];
                d += pd[g];
            }
            const double db = 10.0 * std::log10(r / d);
            squares += db * db;
        }
        m->band_sums[b] += std::sqrt(squares / groups);
        ++m->band_blocks[b];
    }
}

}  // namespace

void StartQuality(int channels, QualityMeter* m) {
    *m = QualityMeter{};
    m->channels = channels;
    m->reference.resize(channels);
    m->decoded.resize(channels);
    m->band_sums.assign(kBands, 0.0);
    m->band_blocks.assign(kBands, 0);
}

void MeasureBlock(QualityMeter* m, const float* reference, const float* decoded, size_t frames) {
    const int channels = m->channels;
    // Each channel's samples from `held_from` on are kept until the
    // segments (one frame long) and the half-overlapping blocks use them.
    const size_t before = m->reference[0].size();
    for (int c = 0; c < channels; ++c) {
        m->reference[c].resize(before + frames);
        m->decoded[c].resize(before + frames);
    }
    // The sums in locals: through the meter, each sample's stores would
    // have to store them too.
    double signal = m->signal;
    double noise = m->noise;
    for (size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const double r = reference[f * channels + c] * 32768.0;
            const double d = decoded[f * channels + c] * 32768.0;
            signal += r * r;
            noise += (r - d) * (r - d);
            m->reference[c][before + f] = r;
            m->decoded[c][before + f] = d;
        }
    m->signal = signal;
    m->noise = noise;
    const size_t held = before + frames;
    size_t used = 0;
    while (m->next_segment + kFrameSamples <= m->held_from + held) {
        for (int c = 0; c < channels; ++c)
            AddSegment(m, &m->reference[c][m->next_segment - m->held_from], &m->decoded[c][m->next_segment - m->held_from]);
        m->next_segment += kFrameSamples;
    }
    while (m->next_block + kFftSize <= m->held_from + held) {
        for (int c = 0; c < channels; ++c)
            AddBlock(m, &m->reference[c][m->next_block - m->held_from], &m->decoded[c][m->next_block - m->held_from]);
        m->next_block += kFftSize / 2;
    }
    used = std::min(m->next_segment, m->next_block) - m->held_from;
    if (used < held / 2) return;  // drop the used samples now and then, not every time
    for (int c = 0; c < channels; ++c) {
        m->reference[c].erase(m->reference[c].begin(), m->reference[c].begin() + used);
        m->decoded[c].erase(m->decoded[c].begin(), m->decoded[c].begin() + used);
    }
    m->held_from += used;
}

Quality FinishQuality(const QualityMeter& m) {
    Quality q;
    // The floor keeps silence against silence at 0 dB instead of undefined.
    q.snr_db = 10.0 * std::log10((m.signal + 1.0) / (m.noise + 1.0));
    q.segmental_snr_db = m.segments ? m.segment_sum / m.segments : 0.0;
    for (size_t b = 0; b < kBands; ++b)
        q.bands.push_back({kBandEdgesHz[b], kBandEdgesHz[b + 1], m.band_blocks[b] ? m.band_sums[b] / m.band_blocks[b] : 0.0,
                           m.band_blocks[b]});
    return q;
}
