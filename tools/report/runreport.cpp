#include "runreport.h"

#include "client/wire/csv.h"

#include <QFile>

#include <QHash>

#include <algorithm>
#include <tuple>

namespace {
const char *const EraseOperation = "ERASE";

QString runKey(const RunRecord &r)
{
    const QStringList fields = r.fields();
    return QStringList{fields.at(RunRecord::RunStart),
                       fields.at(RunRecord::RunEnd),
                       r.machine,
                       r.address,
                       r.operation,
                       r.runLog}
        .join(QChar::Null);
}
} // namespace

void Tally::add(const QString &result)
{
    if (result == QLatin1String("OK"))
        ++passed;
    else if (result == QLatin1String("NG"))
        ++failed;
    else
        ++other;
}

void Tally::add(const Tally &more)
{
    passed += more.passed;
    failed += more.failed;
    other += more.other;
}

bool RunFilter::accepts(const RunRecord &r) const
{
    const QDateTime began = r.start.isValid() ? r.start : r.end;
    return (machine.isEmpty() || r.machine == machine) &&
           (operation.isEmpty() || r.operation.compare(operation, Qt::CaseInsensitive) == 0) &&
           (!since.isValid() || began >= since) && (!until.isValid() || r.end < until);
}

RecordFiles readRecordFiles(const QStringList &paths)
{
    RecordFiles out;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            out.problems << QStringLiteral("%1: %2").arg(path, file.errorString());
            continue;
        }
        const Csv::Table table = Csv::parse(QString::fromUtf8(file.readAll()));
        QVector<QPair<int, QString>> bad;
        for (int line : table.badLines)
            bad << qMakePair(line, QStringLiteral("not a CSV record"));
        for (const Csv::Row &row : table.rows) {
            RunRecord record;
            if (RunRecord::fromFields(row.fields, record))
                out.records << record;
            else if (row.fields != RunRecord::header())
                bad << qMakePair(row.line, QStringLiteral("not a run record"));
        }
        std::sort(bad.begin(), bad.end());
        for (const auto &problem : bad)
            out.problems
                << QStringLiteral("%1:%2: %3").arg(path).arg(problem.first).arg(problem.second);
    }
    return out;
}

QVector<ReportRun> groupRuns(const QVector<RunRecord> &records, const RunFilter &filter)
{
    QVector<ReportRun> runs;
    QHash<QString, int> index;
    for (const RunRecord &r : records) {
        if (!filter.accepts(r))
            continue;
        const QString key = runKey(r);
        auto found = index.constFind(key);
        if (found == index.constEnd()) {
            found = index.insert(key, runs.size());
            ReportRun run;
            run.run = r;
            runs << run;
        }
        ReportRun &run = runs[*found];
        run.devices << r;
        run.tally.add(r.result);
    }
    std::stable_sort(runs.begin(), runs.end(), [](const ReportRun &a, const ReportRun &b) {
        return std::make_tuple(a.run.end, a.run.machine, a.run.address) <
               std::make_tuple(b.run.end, b.run.machine, b.run.address);
    });
    return runs;
}

Tally overallTally(const QVector<ReportRun> &runs)
{
    Tally all;
    for (const ReportRun &run : runs)
        all.add(run.tally);
    return all;
}

QString reportTitle(const QVector<ReportRun> &runs)
{
    const bool allErase =
        !runs.isEmpty() && std::all_of(runs.begin(), runs.end(), [](const ReportRun &run) {
            return run.run.operation.compare(QLatin1String(EraseOperation), Qt::CaseInsensitive) ==
                   0;
        });
    return allErase ? QStringLiteral("Erasure report") : QStringLiteral("Duplication report");
}
