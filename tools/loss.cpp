#include "loss.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "fail.h"

namespace {

// A uniform draw in [0, 1) made the same way by every standard library.
double Uniform(std::mt19937* rng) { return (*rng)() / 4294967296.0; }

// Pattern characters: '.' or '0' received, 'x', 'X' or '1' lost; white space ignored.
bool ReadPatternFile(const std::string& path, std::vector<bool>* marks, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, "cannot read loss pattern " + path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int line = 1;
    int column = 0;
    for (char c : text) {
        ++column;
        if (c == '\n') {
            ++line;
            column = 0;
        } else if (c == '.' || c == '0' || c == 'x' || c == 'X' || c == '1') {
            marks->push_back(c != '.' && c != '0');
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            return Fail(error, "loss pattern " + path + ": stray character at line " + std::to_string(line) +
                                   ", column " + std::to_string(column) +
                                   " (use '.' or '0' for received, 'x' or '1' for lost)");
        }
    }
    if (marks->empty()) return Fail(error, "loss pattern " + path + " marks no packet");
    return true;
}

}  // namespace

bool CheckBurstyLoss(double percent, double burst, std::string* error) {
    const double p = percent / 100.0;
    // Entering a burst from a good packet happens with p / (burst (1 - p)), a probability.
    if (p < 1.0 && p <= burst * (1.0 - p)) return true;
    char text[128];
    std::snprintf(text, sizeof text, "--loss %g is too high for bursts of mean length %g", percent, burst);
    return Fail(error, text);
}

bool MakeLossPattern(const LossSettings& s, size_t packets, std::vector<bool>* lost, std::string* error) {
    lost->assign(packets, false);
    if (!s.pattern_file.empty()) {
        std::vector<bool> marks;
        if (!ReadPatternFile(s.pattern_file, &marks, error)) return false;
        // A pattern shorter than the stream repeats.
        for (size_t k = 0; k < packets; ++k) (*lost)[k] = marks[k % marks.size()];
        return true;
    }
    std::mt19937 rng(s.seed);
    const double p = s.percent / 100.0;
    if (s.burst <= 0.0) {
        for (size_t k = 0; k < packets; ++k) (*lost)[k] = Uniform(&rng) < p;
        return true;
    }
    if (!CheckBurstyLoss(s.percent, s.burst, error)) return false;
    // Two states: every packet of the bad state is lost, none of the good.
    const double enter = p / (s.burst * (1.0 - p));
    const double leave = 1.0 / s.burst;
    bool bad = Uniform(&rng) < p;  // start in the long-run share
    for (size_t k = 0; k < packets; ++k) {
        (*lost)[k] = bad;
        bad = Uniform(&rng) < (bad ? 1.0 - leave : enter);
    }
    return true;
}
