#pragma once

#include "tools/machine/content.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What tests need of the simulated machines (tools/machine, TARN_MACHINE_BIN).

// Arguments of a tarn-machine process: `count` machines named PREFIX-1, PREFIX-2, ..., speaking
// from firstAddress and the addresses after it to the console's command port, each with three
// ports holding devices of `capacity`, storing their files under storeDir and ending with this
// process. Options appended later override these.
QStringList simulatedMachineArguments(quint16 port, int count, const QString &prefix,
                                      const QString &firstAddress, const QString &capacity,
                                      const QString &storeDir);

// An image stream as a simulated machine makes it: the runs of a device with this seed, the end
// entry at capacity, and the tail with the machine's checksum when asked for.
QByteArray simulatedImage(const QVector<SimContent::Run> &runs, qint64 capacity, quint64 seed,
                          bool tail);
// The image a simulated machine sends of one of its devices, rebuilt from its content function.
QByteArray simulatedDeviceImage(const QString &machine, const QString &port, qint64 capacity,
                                bool full);

// A file's bytes, empty when it cannot be read.
QByteArray fileBytes(const QString &path);
// Writes a file whole, creating its folder.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
