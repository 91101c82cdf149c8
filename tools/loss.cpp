#include "loss.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>

#include "fail.h"

namespace {

// A uniform draw in [0, 1) made the same way by every standard library.
double Uniform(std::mt19937* rng) { return (*rng)() / 4294967296.0; }

// Pattern characters: '.' or '0' received, 'x', 'X' or '1' lost; white space ignored.
bool ReadPatternFile(const std::string& path, std::vector<bool>* marks, std::string* error) {
    struct stat info;
    FILE* in = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!in) return Fail(error, "cannot read loss pattern " + path + " (not a readable file)");
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    const bool read = !std::ferror(in);
    std::fclose(in);
    if (!read) return Fail(error, "cannot read loss pattern " + path);
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

bool StartLoss(const LossSettings& s, LossModel* m, std::string* error) {
    m->settings = s;
    m->packet = 0;
    m->pattern.clear();
    if (!s.pattern_file.empty()) return ReadPatternFile(s.pattern_file, &m->pattern, error);
    if (s.burst > 0.0 && !CheckBurstyLoss(s.percent, s.burst, error)) return false;
    m->rng.seed(s.seed);
    // The bursty model starts in its long-run share.
    if (s.burst > 0.0) m->bad = Uniform(&m->rng) < s.percent / 100.0;
    return true;
}

bool NextLost(LossModel* m) {
    const uint64_t k = m->packet++;
    const LossSettings& s = m->settings;
    if (!m->pattern.empty()) return m->pattern[k % m->pattern.size()];
    const double p = s.percent / 100.0;
    if (p <= 0.0) return false;
    if (s.burst <= 0.0) return Uniform(&m->rng) < p;
    // Two states: every packet of the bad state is lost, none of the good.
    const bool lost = m->bad;
    m->bad = Uniform(&m->rng) < (m->bad ? 1.0 - 1.0 / s.burst : p / (s.burst * (1.0 - p)));
    return lost;
}
