#include "testkit/simulatedmachines.h"

#include "image/imagefile.h"
#include "testkit/imagebuilder.h"

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
    ImageBuilder image;
    image.options = tail ? ImageHead::OptionFastChecksum : 0;
    image.devCap = static_cast<quint64>(capacity);
    QByteArray data;
    for (const SimContent::Run &r : runs) {
        image.entries << SStripInLogDiskMy::run(r.offset, r.sectors);
        data += SimContent::sectors(seed, r.offset, r.sectors);
    }
    image.entries << SStripInLogDiskMy::end(capacity, capacity);
    SimContent::Checksum sum;
    sum.add(data);
    image.checksum = sum.result();
    return image.head() + image.table() + data + image.tail();
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
