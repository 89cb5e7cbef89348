#include "simrun.h"

#include "machinelines.h"
#include "machineprofile.h"
#include "simoperation.h"

namespace {
constexpr int MsPerSecond = 1000;
constexpr int TicksPerRun = 25;
constexpr int MinTickMs = 20;
constexpr int MaxTickMs = 250;
constexpr double SlowestShare = 0.85; // the fastest device needs this share of the run time
constexpr double FailFrom = 0.2;      // failing devices fail between these shares of the way
constexpr double FailSpan = 0.7;
constexpr int Percent = 100;
} // namespace

SimRun::SimRun(const SimOperation &operation, const MachineProfile &profile, double runSeconds,
               double failRate, quint32 seed, QObject *parent)
    : QObject(parent), operation(operation), source(profile.source()),
      haveSource(operation.usesSource), random(seed), failRate(failRate),
      runMs(qMax(1, static_cast<int>(runSeconds * MsPerSecond)))
{
    for (int i = 1; i < profile.ports.size(); ++i) {
        const SimDevice &d = profile.ports.at(i);
        if (!d.present)
            continue;
        Target t;
        t.device = d;
        t.total = haveSource ? source.capacity : d.capacity;
        t.durationMs =
            static_cast<int>(runMs * (SlowestShare + (1 - SlowestShare) * random.generateDouble()));
        if (random.generateDouble() < failRate)
            t.failAt =
                static_cast<qint64>(t.total * (FailFrom + FailSpan * random.generateDouble()));
        targets.append(t);
    }
    timer.setInterval(qBound(MinTickMs, runMs / TicksPerRun, MaxTickMs));
    connect(&timer, &QTimer::timeout, this, &SimRun::tick);
}

QString SimRun::name() const
{
    return QLatin1String(operation.name);
}

void SimRun::start()
{
    running = true;
    const QString name = this->name();
    emit line(MachineLines::global('S', name));
    // Without a source the devices count against their own capacities; the total is their sum.
    qint64 total = haveSource ? source.capacity : 0;
    for (const Target &t : targets)
        total += haveSource ? 0 : t.total;
    emit line(MachineLines::global('I', QString::number(total)));
    if (haveSource)
        emit line(MachineLines::identify(source));
    QStringList ports;
    for (const Target &t : targets) {
        emit line(MachineLines::identify(t.device));
        ports << t.device.port;
    }
    // Identifications end non-source mode, so it is announced after them.
    if (!haveSource)
        emit line(MachineLines::global('J'));
    emit line(MachineLines::note(
        haveSource ? QStringLiteral("%1 from %2 (%3) to %4")
                         .arg(name, source.port, source.access,
                              ports.isEmpty() ? QStringLiteral("no device") : ports.join(' '))
                   : QStringLiteral("%1 %2").arg(name, ports.join(' '))));
    if (haveSource)
        emit line(MachineLines::state(source, QStringLiteral("SOURCE")));
    for (const Target &t : targets)
        emit line(MachineLines::state(t.device, QLatin1String(operation.state)));
    if (targets.isEmpty()) {
        end(QStringLiteral("%1: no target device").arg(name));
        return;
    }
    clock.start();
    timer.start();
}

void SimRun::tick()
{
    const qint64 elapsed = clock.elapsed();
    bool allEnded = true;
    for (Target &t : targets) {
        if (t.outcome != Outcome::Working)
            continue;
        const qint64 done = elapsed >= t.durationMs ? t.total : t.total * elapsed / t.durationMs;
        if (t.failAt >= 0 && done >= t.failAt) {
            report(t, t.failAt);
            finish(t, Outcome::Failed);
        } else if (done >= t.total) {
            report(t, t.total);
            finish(t, Outcome::Passed);
        } else {
            report(t, done);
            allEnded = false;
        }
    }
    if (allEnded)
        end(QStringLiteral("%1: %2").arg(name(), tally()));
}

void SimRun::report(Target &t, qint64 done)
{
    t.done = done;
    const int percent = t.total > 0 ? static_cast<int>(done * Percent / t.total) : Percent;
    emit line(MachineLines::progress(t.device, percent, done));
}

void SimRun::finish(Target &t, Outcome outcome)
{
    t.outcome = outcome;
    const bool passed = outcome == Outcome::Passed;
    emit line(MachineLines::result(t.device, passed));
    emit line(MachineLines::note(passed ? QStringLiteral("%1 %2 OK, %3 sectors")
                                              .arg(t.device.port, t.device.access)
                                              .arg(t.total)
                                        : QStringLiteral("%1 %2 NG: write error at sector %3")
                                              .arg(t.device.port, t.device.access)
                                              .arg(t.done)));
}

void SimRun::stop(const QString &reason)
{
    if (!running)
        return;
    for (Target &t : targets) {
        if (t.outcome != Outcome::Working)
            continue;
        t.outcome = Outcome::Stopped;
        emit line(MachineLines::state(t.device, QStringLiteral("STOPPED")));
        emit line(MachineLines::note(QStringLiteral("%1 %2 stopped at sector %3")
                                         .arg(t.device.port, t.device.access)
                                         .arg(t.done)));
    }
    emit line(MachineLines::global('T', reason));
    end(QStringLiteral("%1 stopped: %2").arg(name(), tally()));
}

QString SimRun::tally() const
{
    int ok = 0;
    int ng = 0;
    for (const Target &t : targets) {
        ok += t.outcome == Outcome::Passed;
        ng += t.outcome == Outcome::Failed;
    }
    return QStringLiteral("%1 OK, %2 NG").arg(ok).arg(ng);
}

void SimRun::end(const QString &text)
{
    timer.stop();
    running = false;
    emit line(MachineLines::global('F', text));
    emit finished();
}
