// Objective quality of decoded audio against the input it was coded from,
// measured as the audio streams past.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct BandDistance {
    int low_hz = 0;
    int high_hz = 0;
    double db = 0.0;  // log-spectral distance: RMS over the band's bin groups, mean over blocks
    int blocks = 0;   // blocks where the input had sound in the band; none: no figure
};

struct Quality {
    double snr_db = 0.0;
    double segmental_snr_db = 0.0;
    std::vector<BandDistance> bands;
};

// Running sums, and the few samples per channel that segments and
// spectral blocks still need.
struct QualityMeter {
    int channels = 0;
    double signal = 0.0;
    double noise = 0.0;
    double segment_sum = 0.0;
    int segments = 0;
    std::vector<double> band_sums;
    std::vector<int> band_blocks;
    std::vector<std::vector<double>> reference;
    std::vector<std::vector<double>> decoded;
    size_t held_from = 0;  // sample index of the first held sample
    size_t next_segment = 0;
    size_t next_block = 0;
};

void StartQuality(int channels, QualityMeter* meter);
// Both interleaved at 48 kHz, aligned, 1.0 full scale, `frames` sample frames each.
void MeasureBlock(QualityMeter* meter, const float* reference, const float* decoded, size_t frames);
Quality FinishQuality(const QualityMeter& meter);
