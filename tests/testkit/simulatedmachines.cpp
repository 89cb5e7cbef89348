#include "testkit/simulatedmachines.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList simulatedMachineArguments(quint16 port, int count, const QString &prefix,
                                      const QString &firstAddress, const QString &capacity,
                                      const QString &storeDir)
{
    return QString("--console 127.0.0.1 --port %1 --count %2 --name %3 --address %4 --ports 3 "
                   "--devices 3 --capacity %5 --run-time 1 --fail-rate 0 --seed 5 --watch-pid %6")
               .arg(port)
               .arg(count)
               .arg(prefix, firstAddress, capacity)
               .arg(QCoreApplication::applicationPid())
               .split(' ') +
           QStringList{"--store", storeDir};
}

QByteArray simulatedImage(const QVector<SimContent::Run> &runs, qint64 capacity, quint64 seed,
                          bool tail)
{
    ImageHead head = ImageHead::built(tail ? ImageHead::OptionFastChecksum : 0);
    head.ulDevCap = static_cast<quint64>(capacity);
    QByteArray out = head.encoded();
    for (const SimContent::Run &r : runs)
        out += SStripInLogDiskMy::run(r.offset, r.sectors).encoded();
    out += SStripInLogDiskMy::end(capacity, capacity).encoded();
    SimContent::Checksum sum;
    for (const SimContent::Run &r : runs) {
        const QByteArray data = SimContent::sectors(seed, r.offset, r.sectors);
        sum.add(data);
        out += data;
    }
    if (tail) {
        ImageTail t;
        t.token = ImageTail::Token;
        t.checksum = sum.result();
        out += t.encoded();
    }
    return out;
}

QByteArray simulatedDeviceImage(const QString &machine, const QString &port, qint64 capacity,
                                bool full)
{
    return simulatedImage(full ? QVector<SimContent::Run>{{0, capacity}}
                               : SimContent::briefRuns(capacity),
                          capacity, SimContent::deviceSeed(machine, port), true);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
