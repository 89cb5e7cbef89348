#pragma once

#include <QString>

// One device port of a simulated machine and the device it holds, if any.
struct SimDevice
{
    QString port;   // port name, as listed in the information message
    QString access; // how the machine reaches the device, e.g. /dev/sdb
    bool present = false;
    qint64 capacity = 0; // sectors
    QString model;
    QString vendor;
    quint64 seed = 0; // content seed (SimContent::deviceSeed)
};
