#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// One port row of one machine's run as the run records file keeps it: one CSV row per device and
// run, in the column order of Column.
struct RunRecord
{
    enum Column
    {
        RunStart,
        RunEnd,
        DurationSeconds,
        MachineName,
        MachineAddress,
        Operation,
        Port,
        Role,
        AccessName,
        Model,
        Vendor,
        Capacity,
        Percentage,
        Result,
        RunLogFile,
        ColumnCount
    };

    QDateTime start; // invalid when the console did not see the run start
    QDateTime end;
    qint64 durationSeconds = -1; // -1 with an unknown start
    QString machine;
    QString address;
    QString operation;
    QString port;
    QString role;
    QString access;
    QString model;
    QString vendor;
    QString capacity;
    QString percentage; // the last whole percentage shown, without "%"; empty when none was
    QString result;
    QString runLog;

    static QString sourceRole() { return QStringLiteral("source"); }
    static QString targetRole() { return QStringLiteral("target"); }
    static QString disconnectedResult() { return QStringLiteral("disconnected"); }

    static QStringList header();
    QStringList fields() const;
    // False for fields that make no record: the header row, a wrong field count, a time that is
    // not ISO 8601 with an offset, a duration or percentage that is not a whole number, an
    // unknown role.
    static bool fromFields(const QStringList &fields, RunRecord &record);
};

// "2024-05-01T14:03:07+02:00": local time with its offset from UTC.
QString isoLocalTime(const QDateTime &when);

// "2:05:09" for a duration of seconds; hours go on past a day.
QString clockText(qint64 seconds);

// "tarn-runs-2024-05-01.csv": the records of the runs that ended on that local day.
QString runRecordsFileName(const QDate &day);
