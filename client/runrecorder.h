#pragma once

#include "client/wire/runrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <functional>

struct DeviceStatus;

// The records of one machine's runs. Fed with what the machine's lines set in its port rows; at a
// run's end it appends one row per port row that took part to the day's run records file in the
// current directory. A port row takes part in a run when an identification named it after the
// run start, or when a progress, result or state line was credited to it during the run (only
// port row 0 keeps its access name across runs, so only it can be reached without a new
// identification); its device is then the one of its last identification.
class RunRecorder
{
    Q_DECLARE_TR_FUNCTIONS(RunRecorder)

public:
    struct Machine
    {
        QString name;
        QString address;
        QString source; // the port the settings name as the source; empty for none
    };
    using Describe = std::function<Machine()>;
    using LogSink = std::function<void(const QString &)>;

    RunRecorder(Describe describe, LogSink logLine);

    // A run still open then, with rows, is written first: it ended at its termination, if the
    // machine asked for one, or now.
    void runStarted(const QString &operation);
    void identified(int row, const DeviceStatus &status);
    void percentShown(int row, quint64 percent);
    void statusShown(int row, const QString &text);
    void terminated();
    // A run end without a seen run start writes the rows identified since the last end, with an
    // empty start.
    void runEnded(const QDateTime &when, const QString &runLogFile);
    // During a run, its rows are written with the result "disconnected".
    void disconnected();

private:
    struct Port
    {
        QString name;
        QString access;
        QString model;
        QString vendor;
        QString capacity;
        qint64 percent = -1;
        QString result;
        bool known = false;
        bool inRun = false;
    };

    Port *port(int row);
    void writeRun(const QDateTime &end, const QString &runLogFile, const QString &resultForAll);
    void append(const QVector<RunRecord> &records, const QDate &day);

    Describe describe;
    LogSink logLine;
    QVector<Port> ports;
    bool running = false;
    QDateTime start;
    QString operation;
    QDateTime terminatedAt;
};
