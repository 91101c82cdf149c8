#include "progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr double kFirstDrawS = 0.5;  // quick runs show no bar
constexpr double kRedrawS = 0.25;
constexpr int kBarWidth = 30;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

}  // namespace

Progress StartProgress(const char* label, double total_seconds, bool quiet) {
    Progress p;
    p.label = label;
    p.total_s = total_seconds;
    p.started = Now();
    p.enabled = !quiet && isatty(STDERR_FILENO);
    return p;
}

void ShowProgress(Progress* p, double done) {
    if (!p->enabled) return;
    const double now = Now();
    if (now - p->started < kFirstDrawS || now - p->drawn < kRedrawS) return;
    p->drawn = now;
    p->shown = true;
    const double speed = done / (now - p->started);
    if (p->total_s > 0.0) {
        const double share = done < p->total_s ? done / p->total_s : 1.0;
        const int filled = static_cast<int>(share * kBarWidth);
        std::fprintf(stderr, "\r%-9s [%.*s%*s] %3d%%  %s of %s  %.1fx real time ", p->label, filled,
                     "##############################", kBarWidth - filled, "", static_cast<int>(100 * share),
                     Clock(done).c_str(), Clock(p->total_s).c_str(), speed);
    } else {
        std::fprintf(stderr, "\r%-9s %s  %.1fx real time ", p->label, Clock(done).c_str(), speed);
    }
    std::fflush(stderr);
}

void EndProgress(Progress* p) {
    if (!p->shown) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 60, "");
    std::fflush(stderr);
    p->shown = false;
}
