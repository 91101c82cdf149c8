// A progress bar on stderr for long runs, shown only when stderr is a terminal.
#pragma once
#include <cstdint>

struct Progress {
    const char* label = "";
    uint64_t total = 0;
    int shown_percent = -1;
    bool active = false;
};

Progress StartProgress(const char* label, uint64_t total_frames);
void AdvanceProgress(Progress* progress, uint64_t done_frames);
void FinishProgress(Progress* progress);
