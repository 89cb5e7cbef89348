#pragma once

#include "client/wire/runrecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// What a report holds: the runs of the record files that pass the filters, each with its
// devices, and the tallies.

struct Tally
{
    int passed = 0;
    int failed = 0;
    int other = 0; // state words, no result, disconnected

    void add(const QString &result);
    void add(const Tally &more);
};

struct ReportRun
{
    RunRecord run; // the fields all its devices share
    QVector<RunRecord> devices;
    Tally tally;
};

struct RunFilter
{
    QString machine;   // exact; empty for all
    QString operation; // any case; empty for all
    QDateTime since;   // runs that started (or, start unknown, ended) at or after
    QDateTime until;   // runs that ended before

    bool accepts(const RunRecord &record) const;
};

struct RecordFiles
{
    QVector<RunRecord> records;
    QStringList problems; // "FILE:LINE: why" or "FILE: why", one per skipped row or file
};

// Reads run records files strictly; a row that does not parse is named and skipped.
RecordFiles readRecordFiles(const QStringList &paths);

// The filtered records grouped into runs, ordered by their end, then machine and address.
QVector<ReportRun> groupRuns(const QVector<RunRecord> &records, const RunFilter &filter);

Tally overallTally(const QVector<ReportRun> &runs);

// "Erasure report" when every run is an erase, else "Duplication report".
QString reportTitle(const QVector<ReportRun> &runs);
