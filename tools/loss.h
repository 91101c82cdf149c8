// Simulated packet loss: random, bursty (Gilbert-Elliott) or from a pattern
// file, decided packet by packet.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct LossSettings {
    double percent = 0.0;  // mean share of lost packets
    double burst = 0.0;    // mean burst length; 0 means losses are independent
    uint32_t seed = 1;
    std::string pattern_file;  // one character per packet; overrides the above
};

struct LossModel {
    LossSettings settings;
    std::vector<bool> pattern;  // repeats when shorter than the stream
    std::mt19937 rng;
    bool bad = false;  // the bursty model's state
    uint64_t packet = 0;
};

bool StartLoss(const LossSettings& settings, LossModel* model, std::string* error);
// Whether the next packet is lost in transit.
bool NextLost(LossModel* model);
// Checks that a bursty loss of this share and burst length can exist.
bool CheckBurstyLoss(double percent, double burst, std::string* error);
