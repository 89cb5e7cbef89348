#pragma once

#include <QHostAddress>
#include <QString>
#include <QVector>

class QCoreApplication;

// What the command line sets for all simulated machines of this process.
struct MachineOptions
{
    static constexpr quint16 DefaultCommandPort = 53275;
    static constexpr int MaxCount = 200;
    static constexpr int MaxPorts = 26; // access names /dev/sda to /dev/sdz

    QHostAddress console{QHostAddress::LocalHost};
    quint16 port = DefaultCommandPort;
    int count = 3;
    QString namePrefix = QStringLiteral("SIM");
    QHostAddress firstAddress{QStringLiteral("127.0.0.2")};
    int ports = 4;
    int devices = 3;
    QVector<qint64> capacities; // sectors
    double runSeconds = 12.0;
    double failRate = 0.1;
    quint32 seed = 1;
    QString storeDir = QStringLiteral("machine-store");
    bool sampleImage = false;
    bool listenAnnounce = false;
    char autoRun = 0;    // command letter of a run each machine starts by itself, or 0
    qint64 watchPid = 0; // the program ends with this process, when set

    quint16 transferPort() const { return static_cast<quint16>(port + 1); }
    quint16 announcePort() const { return static_cast<quint16>(port + 2); }

    // Parses the application's arguments; prints help or an error and exits on --help or bad input.
    static MachineOptions fromCommandLine(const QCoreApplication &app);
};
