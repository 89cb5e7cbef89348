#pragma once

#include "simdevice.h"

#include <QHostAddress>
#include <QString>
#include <QVector>

struct MachineOptions;

// Who one simulated machine is: name, address and devices. Port 0 is the source port.
struct MachineProfile
{
    QString name;
    QString model;
    QString vendor;
    QString version;
    QHostAddress address;
    QVector<SimDevice> ports;

    // Profile of machine number index (from 0) of this process.
    static MachineProfile build(const MachineOptions &options, int index);

    const SimDevice &source() const { return ports.first(); }
    // The present device in the named port (a leading "*" source mark is ignored), or null.
    const SimDevice *device(const QString &portName) const;
};
