#include "restorerun.h"

#include "client/wire/devicestatus.h"
#include "machinelines.h"

namespace {
constexpr int ReportEveryMs = 200;
constexpr int Percent = 100;
} // namespace

RestoreRun::RestoreRun(const QVector<SimDevice> &devices, qint64 capacity, QObject *parent)
    : QObject(parent), devices(devices), capacity(capacity)
{
}

void RestoreRun::start()
{
    started = true;
    emit line(MachineLines::global('S', QLatin1String(Name)));
    emit line(MachineLines::global('I', QString::number(capacity)));
    QStringList ports;
    for (const SimDevice &d : devices) {
        emit line(MachineLines::identify(d));
        ports << d.port;
    }
    emit line(MachineLines::note(
        QStringLiteral("%1 of %2 sectors to %3")
            .arg(QLatin1String(Name))
            .arg(capacity)
            .arg(ports.isEmpty() ? QStringLiteral("no device") : ports.join(QLatin1Char(' ')))));
    for (const SimDevice &d : devices)
        emit line(MachineLines::state(d, QStringLiteral("RESTORING")));
    sinceReport.start();
}

void RestoreRun::progress(qint64 position)
{
    if (started && !ended && sinceReport.elapsed() >= ReportEveryMs)
        report(position);
}

void RestoreRun::report(qint64 position)
{
    sinceReport.restart();
    const int percent = percentOf(position, capacity);
    for (const SimDevice &d : devices)
        emit line(MachineLines::progress(d, percent, position));
}

int RestoreRun::percentOf(qint64 position, qint64 capacity)
{
    if (capacity <= 0)
        return Percent;
    const qint64 reached = qBound<qint64>(0, position, capacity);
    return static_cast<int>(progressPercent(quint64(reached), quint64(capacity)));
}

void RestoreRun::finish(bool passed, const QString &why)
{
    if (!started || ended)
        return;
    ended = true;
    int ok = 0;
    if (passed)
        report(capacity);
    for (const SimDevice &d : devices) {
        // An image larger than the device cannot be written onto it.
        const bool fits = d.capacity >= capacity;
        emit line(MachineLines::result(d, passed && fits));
        if (passed && !fits)
            emit line(MachineLines::note(QStringLiteral("%1 %2 NG: %3 sectors do not fit in %4")
                                             .arg(d.port, d.access)
                                             .arg(capacity)
                                             .arg(d.capacity)));
        ok += passed && fits;
    }
    const QString tally = QStringLiteral("%1 OK, %2 NG").arg(ok).arg(devices.size() - ok);
    emit line(MachineLines::global(
        'F', passed ? QStringLiteral("%1: %2").arg(QLatin1String(Name), tally)
                    : QStringLiteral("%1 failed: %2").arg(QLatin1String(Name), why)));
}
