#pragma once

#include <QVector>

#include <array>

// How fast each port row's device progresses, from the timing of its progress lines: a moving
// average over the last minute. A line costs a read of a coarse clock (a few milliseconds are
// plenty against a one-second sample spacing) and, at most once a second per device, one stored
// sample.
class ProgressRate
{
public:
    static constexpr qint64 WindowMs = 60 * 1000;
    static constexpr qint64 SampleSpacingMs = 1000;

    struct Estimate
    {
        double percentPerMinute = 0;
        qint64 secondsLeft = -1; // -1 while the device does not move
    };

    void sample(int row, quint64 done, quint64 total);
    void sample(int row, quint64 done, quint64 total, qint64 atMs);
    // A new device in the row, or a new run: what was measured no longer counts.
    void forget(int row);
    void clear();
    // False before the row's second progress line, or when no time passed between its lines.
    bool estimate(int row, Estimate &out) const;

private:
    struct Sample
    {
        qint64 ms = 0;
        quint64 done = 0;
    };
    // One more than a window of samples, so the window's start is always held.
    static constexpr int Slots = WindowMs / SampleSpacingMs + 2;
    struct Device
    {
        std::array<Sample, Slots> ring;
        int newest = -1;
        int count = 0;
        Sample latest;
        quint64 total = 0;
    };

    QVector<Device> devices;
};
