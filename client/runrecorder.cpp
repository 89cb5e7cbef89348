#include "client/runrecorder.h"

#include "client/wire/csv.h"
#include "client/wire/devicestatus.h"

#include <QFile>

#include <limits>

RunRecorder::RunRecorder(Describe describe, LogSink logLine)
    : describe(std::move(describe)), logLine(std::move(logLine))
{
}

RunRecorder::Port *RunRecorder::port(int row)
{
    return row >= 0 && row < ports.size() ? &ports[row] : nullptr;
}

void RunRecorder::runStarted(const QString &name)
{
    if (running)
        writeRun(terminatedAt.isValid() ? terminatedAt : QDateTime::currentDateTime(), QString(),
                 QString());
    running = true;
    start = QDateTime::currentDateTime();
    operation = name;
    terminatedAt = QDateTime();
    for (Port &p : ports) {
        p.inRun = false;
        p.percent = -1;
        p.result.clear();
    }
}

void RunRecorder::identified(int row, const DeviceStatus &status)
{
    if (row < 0)
        return;
    if (row >= ports.size())
        ports.resize(row + 1);
    Port &p = ports[row];
    p.name = status.port;
    p.access = status.access;
    p.model = status.model;
    p.vendor = status.vendor;
    p.capacity = status.capacityText;
    p.percent = -1;
    p.result.clear();
    p.known = true;
    p.inRun = true;
}

void RunRecorder::percentShown(int row, quint64 percent)
{
    if (Port *p = port(row)) {
        p->percent =
            static_cast<qint64>(qMin<quint64>(percent, std::numeric_limits<qint64>::max()));
        p->inRun = p->inRun || p->known;
    }
}

void RunRecorder::statusShown(int row, const QString &text)
{
    if (Port *p = port(row)) {
        p->result = text;
        p->inRun = p->inRun || p->known;
    }
}

void RunRecorder::terminated()
{
    if (running && !terminatedAt.isValid())
        terminatedAt = QDateTime::currentDateTime();
}

void RunRecorder::runEnded(const QDateTime &when, const QString &runLogFile)
{
    writeRun(when, runLogFile, QString());
}

void RunRecorder::disconnected()
{
    if (running)
        writeRun(QDateTime::currentDateTime(), QString(), RunRecord::disconnectedResult());
}

void RunRecorder::writeRun(const QDateTime &end, const QString &runLogFile,
                           const QString &resultForAll)
{
    const Machine machine = describe();
    QVector<RunRecord> records;
    for (Port &p : ports) {
        if (!p.inRun)
            continue;
        p.inRun = false;
        RunRecord r;
        if (running) {
            r.start = start;
            r.durationSeconds = qMax<qint64>(0, start.secsTo(end));
        }
        r.end = end;
        r.machine = machine.name;
        r.address = machine.address;
        r.operation = running ? operation : QString();
        r.port = p.name;
        r.role = !machine.source.isEmpty() && p.name == machine.source ? RunRecord::sourceRole()
                                                                       : RunRecord::targetRole();
        r.access = p.access;
        r.model = p.model;
        r.vendor = p.vendor;
        r.capacity = p.capacity;
        r.percentage = p.percent < 0 ? QString() : QString::number(p.percent);
        r.result = resultForAll.isEmpty() ? p.result : resultForAll;
        r.runLog = runLogFile;
        records << r;
    }
    running = false;
    if (!records.isEmpty())
        append(records, end.date());
}

void RunRecorder::append(const QVector<RunRecord> &records, const QDate &day)
{
    // Opened and closed per run: nothing is held open between runs that may be hours apart.
    QFile file(runRecordsFileName(day));
    QByteArray bytes;
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (file.size() == 0)
            bytes = Csv::record(RunRecord::header()).toUtf8();
        for (const RunRecord &r : records)
            bytes += Csv::record(r.fields()).toUtf8();
        if (file.write(bytes) == bytes.size())
            return;
    }
    logLine(tr("The run records of %1 could not be written to %2: %3\n")
                .arg(describe().name, file.fileName(), file.errorString()));
}
