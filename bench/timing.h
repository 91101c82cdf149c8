// Wall-clock time of a stretch of code, in microseconds.
#pragma once
#include <chrono>

using BenchClock = std::chrono::steady_clock;

inline double MicrosSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::micro>(BenchClock::now() - start).count();
}
