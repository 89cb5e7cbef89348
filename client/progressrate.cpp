#include "client/progressrate.h"

#include <QElapsedTimer>

#include <ctime>

namespace {
constexpr double PercentScale = 100.0;
constexpr double MsPerMinute = 60.0 * 1000.0;
constexpr double MsPerSecond = 1000.0;

// Milliseconds of a monotonic clock. Progress lines come by the million: the coarse clock costs a
// tenth of the precise one.
qint64 nowMs()
{
#ifdef CLOCK_MONOTONIC_COARSE
    constexpr qint64 MsPerSecondWhole = 1000;
    constexpr qint64 NsPerMs = 1000 * 1000;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * MsPerSecondWhole + now.tv_nsec / NsPerMs;
#else
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
#endif
}
} // namespace

void ProgressRate::sample(int row, quint64 done, quint64 total)
{
    sample(row, done, total, nowMs());
}

void ProgressRate::sample(int row, quint64 done, quint64 total, qint64 atMs)
{
    if (row < 0)
        return;
    if (row >= devices.size())
        devices.resize(row + 1);
    Device &d = devices[row];
    d.latest = {atMs, done};
    d.total = total;
    if (d.count > 0 && atMs - d.ring[d.newest].ms < SampleSpacingMs)
        return;
    d.newest = (d.newest + 1) % Slots;
    d.ring[d.newest] = d.latest;
    d.count = qMin(d.count + 1, Slots);
}

void ProgressRate::forget(int row)
{
    if (row >= 0 && row < devices.size())
        devices[row] = Device();
}

void ProgressRate::clear()
{
    devices.clear();
}

bool ProgressRate::estimate(int row, Estimate &out) const
{
    if (row < 0 || row >= devices.size() || devices.at(row).count == 0)
        return false;
    const Device &d = devices.at(row);
    // The oldest sample still inside the window that ends with the latest line.
    Sample first = d.latest;
    for (int age = d.count - 1; age >= 0; --age) {
        const Sample &s = d.ring[(d.newest - age + Slots) % Slots];
        if (d.latest.ms - s.ms <= WindowMs) {
            first = s;
            break;
        }
    }
    const qint64 elapsedMs = d.latest.ms - first.ms;
    if (elapsedMs <= 0 || d.total == 0)
        return false;
    const double moved = d.latest.done >= first.done ? double(d.latest.done - first.done) : 0.0;
    out.percentPerMinute = moved * PercentScale / double(d.total) * MsPerMinute / elapsedMs;
    out.secondsLeft = -1;
    if (moved > 0) {
        const double left = d.latest.done < d.total ? double(d.total - d.latest.done) : 0.0;
        out.secondsLeft = qint64(left * elapsedMs / moved / MsPerSecond + 0.5);
    }
    return true;
}
