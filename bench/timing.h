// CPU time of the benchmark's thread, in microseconds: what a stretch of code
// costs the machine, without the time other processes hold the processor.
#pragma once
#include <time.h>

using CpuInstant = double;

inline CpuInstant CpuNow() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

inline double MicrosSince(CpuInstant start) { return CpuNow() - start; }
