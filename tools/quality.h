// Objective quality of decoded audio against the input it was coded from.
#pragma once
#include <cstdint>
#include <vector>

struct BandDistance {
    int low_hz = 0;
    int high_hz = 0;
    double db = 0.0;  // log-spectral distance: RMS over the band's bin groups, mean over frames
};

struct Quality {
    double snr_db = 0.0;
    double segmental_snr_db = 0.0;
    std::vector<BandDistance> bands;
};

// Both signals interleaved, 48 kHz, same length and channel count, aligned.
Quality MeasureQuality(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int channels);
