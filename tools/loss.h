// Simulated packet loss: random, bursty (Gilbert-Elliott) or from a pattern file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LossSettings {
    double percent = 0.0;  // mean share of lost packets
    double burst = 0.0;    // mean burst length; 0 means losses are independent
    uint32_t seed = 1;
    std::string pattern_file;  // one character per packet; overrides the above
};

inline bool LossRequested(const LossSettings& s) { return s.percent > 0.0 || !s.pattern_file.empty(); }

// `lost[k]` tells whether packet k is lost in transit.
bool MakeLossPattern(const LossSettings& settings, size_t packets, std::vector<bool>* lost, std::string* error);
// Checks that a bursty loss of this share and burst length can exist.
bool CheckBurstyLoss(double percent, double burst, std::string* error);
