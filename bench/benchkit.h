#pragma once

// Shared by the benchmarks. In the transfer benchmarks each measured side runs in a fresh child
// process (the benchmark re-executing itself), so its peak memory is its own, and the console and
// the plain C baseline run interleaved from the same memory state.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTextStream>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace benchkit {

constexpr qint64 MiB = 1024 * 1024;
constexpr int DefaultRounds = 5;
constexpr int ChildTimeoutMs = 10 * 60 * 1000;

struct Measure
{
    bool ok = false;
    double seconds = 0; // wall time of the transfer
    double cpu = 0;     // user + system seconds of the whole child
    qint64 peakKb = 0;  // VmHWM of the whole child
};

// A memory figure of this process in KiB, as /proc/self/status gives it ("VmHWM", "VmRSS").
inline qint64 statusKb(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = field + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

inline qint64 peakRssKb()
{
    return statusKb("VmHWM");
}

inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// The line a measured child prints last.
inline void printMeasure(bool ok, double seconds)
{
    std::printf("MEASURE %d %.6f %.3f %lld\n", ok ? 1 : 0, seconds, cpuSeconds(),
                static_cast<long long>(peakRssKb()));
    std::fflush(stdout);
}

inline Measure parseMeasure(const QByteArray &output)
{
    Measure m;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 5 && f[0] == "MEASURE") {
            m.ok = f[1] == "1";
            m.seconds = f[2].toDouble();
            m.cpu = f[3].toDouble();
            m.peakKb = f[4].toLongLong();
        }
    }
    return m;
}

inline QProcess *startSelf(const QStringList &args)
{
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(), args);
    process->waitForStarted();
    return process;
}

inline QByteArray finish(QProcess *process)
{
    process->waitForFinished(ChildTimeoutMs);
    const QByteArray output = process->readAllStandardOutput();
    delete process;
    return output;
}

inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

inline double megabytesPerSecond(qint64 bytes, double seconds)
{
    return seconds > 0 ? bytes / seconds / 1e6 : 0;
}

inline double cpuPerGiB(qint64 bytes, double cpu)
{
    return cpu * (1024.0 * MiB) / qMax<qint64>(bytes, 1);
}

// "--sizes-mib 256,2048 --rounds 5"
struct Options
{
    QList<qint64> sizes{256 * MiB, 2048 * MiB};
    int rounds = DefaultRounds;

    static Options parse(const QStringList &args)
    {
        Options o;
        for (int i = 1; i + 1 < args.size(); ++i) {
            if (args[i] == QLatin1String("--sizes-mib")) {
                o.sizes.clear();
                for (const QString &s : args[i + 1].split(QLatin1Char(',')))
                    o.sizes << s.toLongLong() * MiB;
            } else if (args[i] == QLatin1String("--rounds")) {
                o.rounds = qMax(1, args[i + 1].toInt());
            }
        }
        return o;
    }
};

// Per-round ratios of a measured side to the baseline: throughput and CPU seconds.
struct Ratios
{
    QVector<double> rate, cpu;
    qint64 peakKb = 0;
    bool ok = true;
};

inline Ratios ratios(qint64 bytes, const QVector<Measure> &side, const QVector<Measure> &baseline)
{
    Ratios r;
    for (int i = 0; i < side.size() && i < baseline.size(); ++i) {
        r.rate << megabytesPerSecond(bytes, side[i].seconds) /
                      qMax(megabytesPerSecond(bytes, baseline[i].seconds), 1e-9);
        r.cpu << side[i].cpu / qMax(baseline[i].cpu, 1e-9);
        r.peakKb = qMax(r.peakKb, side[i].peakKb);
        r.ok = r.ok && side[i].ok && baseline[i].ok;
    }
    return r;
}

inline double medianCpuPerGiB(qint64 bytes, const QVector<Measure> &side)
{
    QVector<double> perGiB;
    for (const Measure &m : side)
        perGiB << cpuPerGiB(bytes, m.cpu);
    return median(perGiB);
}

// The console against the baseline; a reference sender, when given, against the same baseline.
inline void report(const char *what, qint64 bytes, const QVector<Measure> &console,
                   const QVector<Measure> &baseline, const char *referenceName = nullptr,
                   const QVector<Measure> &reference = {})
{
    QVector<double> consoleRates, baselineRates, consoleCpu, baselineCpu;
    for (int i = 0; i < console.size(); ++i) {
        consoleRates << megabytesPerSecond(bytes, console[i].seconds);
        baselineRates << megabytesPerSecond(bytes, baseline[i].seconds);
    }
    const Ratios c = ratios(bytes, console, baseline);
    const Ratios r = ratios(bytes, reference, baseline);
    qint64 baselinePeak = 0;
    for (const Measure &m : baseline)
        baselinePeak = qMax(baselinePeak, m.peakKb);
    QTextStream out(stdout);
    out << what << " " << bytes / MiB << " MiB, " << console.size() << " rounds"
        << (c.ok && r.ok ? "" : "  ** A RUN FAILED **") << "\n";
    for (int i = 0; i < console.size(); ++i)
        out << QStringLiteral("  round %1: console %2 MB/s, baseline %3 MB/s, ratio %4; CPU s: "
                              "console %5, baseline %6\n")
                   .arg(i + 1)
                   .arg(consoleRates[i], 0, 'f', 0)
                   .arg(baselineRates[i], 0, 'f', 0)
                   .arg(c.rate[i], 0, 'f', 2)
                   .arg(console[i].cpu, 0, 'f', 2)
                   .arg(baseline[i].cpu, 0, 'f', 2);
    out << QStringLiteral("  median: console %1 MB/s, baseline %2 MB/s, ratio %3 (per-round "
                          "ratios, median)\n")
               .arg(median(consoleRates), 0, 'f', 0)
               .arg(median(baselineRates), 0, 'f', 0)
               .arg(median(c.rate), 0, 'f', 2);
    out << QStringLiteral("  CPU s/GiB (median): console %1, baseline %2, ratio %3 (per-round "
                          "ratios, median)\n")
               .arg(medianCpuPerGiB(bytes, console), 0, 'f', 3)
               .arg(medianCpuPerGiB(bytes, baseline), 0, 'f', 3)
               .arg(median(c.cpu), 0, 'f', 2);
    out << QStringLiteral("  peak RSS: console %1 MiB, baseline %2 MiB\n")
               .arg(c.peakKb / 1024.0, 0, 'f', 1)
               .arg(baselinePeak / 1024.0, 0, 'f', 1);
    if (referenceName)
        out << QStringLiteral("  reference %1: ratio %2, CPU s/GiB %3, CPU ratio %4 (medians)\n")
                   .arg(QLatin1String(referenceName))
                   .arg(median(r.rate), 0, 'f', 2)
                   .arg(medianCpuPerGiB(bytes, reference), 0, 'f', 3)
                   .arg(median(r.cpu), 0, 'f', 2);
    out.flush();
}

} // namespace benchkit
