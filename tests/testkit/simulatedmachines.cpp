#include "testkit/simulatedmachines.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "tools/machine/content.h"

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

QByteArray simulatedDeviceImage(const QString &machine, const QString &port, qint64 capacity,
                                bool full)
{
    const QVector<SimContent::Run> runs =
        full ? QVector<SimContent::Run>{{0, capacity}} : SimContent::briefRuns(capacity);
    const quint64 seed = SimContent::deviceSeed(machine, port);
    ImageHead head = ImageHead::built(ImageHead::OptionFastChecksum);
    head.ulDevCap = static_cast<quint64>(capacity);
    QByteArray image = head.encoded();
    for (const SimContent::Run &run : runs)
        image += SStripInLogDiskMy::run(run.offset, run.sectors).encoded();
    image += SStripInLogDiskMy::end(capacity, capacity).encoded();
    SimContent::Checksum checksum;
    for (const SimContent::Run &run : runs) {
        const QByteArray data = SimContent::sectors(seed, run.offset, run.sectors);
        checksum.add(data);
        image += data;
    }
    ImageTail tail;
    tail.token = ImageTail::Token;
    tail.checksum = checksum.result();
    return image + tail.encoded();
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
