// Time inside the process, from construction to Report, printed as "bench: inner_ms=N" for the
// harness: it leaves out Wine's process start-up, which the wall-clock figures include.
#pragma once

#include <windows.h>

#include <cstdio>

class BenchClock {
public:
    BenchClock() { QueryPerformanceCounter(&start_); }
    void Report() const {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
        std::printf("bench: inner_ms=%.2f\n", ms);
        std::fflush(stdout);
    }

private:
    LARGE_INTEGER start_;
};
