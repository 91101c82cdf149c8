#include "progress.h"

#include <unistd.h>

#include <cstdio>

#include "stream.h"

namespace {
constexpr uint64_t kLongInputFrames = 30 * kFramesPerSecond;  // 30 s of audio
constexpr int kBarWidth = 40;
}  // namespace

Progress StartProgress(const char* label, uint64_t total_frames) {
    Progress p;
    p.label = label;
    p.total = total_frames;
    p.active = total_frames >= kLongInputFrames && isatty(STDERR_FILENO);
    return p;
}

void AdvanceProgress(Progress* p, uint64_t done) {
    if (!p->active) return;
    const int percent = static_cast<int>(100 * done / p->total);
    if (percent == p->shown_percent) return;
    p->shown_percent = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r%-9s [%.*s%*s] %3d%%", p->label, filled, "########################################",
                 kBarWidth - filled, "", percent);
    std::fflush(stderr);
}

void FinishProgress(Progress* p) {
    if (!p->active) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 20, "");
    std::fflush(stderr);
}
