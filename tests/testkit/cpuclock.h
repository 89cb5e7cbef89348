#pragma once

#include <ctime>

// CPU seconds this process has used since the clock was made: tells a sleeping wait from a spinning
// one.
class ProcessCpuClock
{
public:
    ProcessCpuClock() : start(now()) {}
    double elapsed() const { return now() - start; }

private:
    static double now()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + t.tv_nsec / 1e9;
    }
    double start;
};
