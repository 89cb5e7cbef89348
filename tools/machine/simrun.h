#pragma once

#include "simdevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVector>

struct MachineProfile;
struct SimOperation;

// One operation run of a machine over its devices, told to the console as status lines: start,
// total, identifications, progress at a steady rate, OK or NG per device, end.
class SimRun : public QObject
{
    Q_OBJECT

public:
    explicit SimRun(const SimOperation &operation, const MachineProfile &profile, double runSeconds,
                    double failRate, quint32 seed, QObject *parent = nullptr);

    void start();
    // Ends the run at once with a termination request and a run end.
    void stop(const QString &reason);
    QString name() const;

signals:
    void line(const QByteArray &line);
    void finished();

private:
    enum class Outcome
    {
        Working,
        Passed,
        Failed,
        Stopped
    };
    struct Target
    {
        SimDevice device;
        qint64 total = 0;   // progress count at 100%
        qint64 failAt = -1; // count at which it fails, or -1
        qint64 done = 0;
        int durationMs = 0;
        Outcome outcome = Outcome::Working;
    };

    void tick();
    void report(Target &t, qint64 done);
    void finish(Target &t, Outcome outcome);
    void end(const QString &text);
    QString tally() const;

    const SimOperation &operation;
    SimDevice source;
    bool haveSource;
    QVector<Target> targets;
    QRandomGenerator random;
    double failRate;
    int runMs;
    QTimer timer;
    QElapsedTimer clock;
    bool running = false;
};
