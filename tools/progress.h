// A progress bar on stderr over a whole run, with the speed as a multiple
// of real time; drawn only on a terminal, only for runs that take a while.
#pragma once

struct Progress {
    const char* label = "";
    double total_s = 0.0;  // audio seconds in the run; 0 when unknown (a pipe)
    double started = 0.0;
    double drawn = 0.0;
    bool enabled = false;
    bool shown = false;
};

Progress StartProgress(const char* label, double total_seconds, bool quiet);
void ShowProgress(Progress* progress, double done_seconds);
void EndProgress(Progress* progress);
