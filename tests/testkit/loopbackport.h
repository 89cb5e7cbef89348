#pragma once

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>

// A port of 127.0.0.1 that was free a moment ago, for a peer that listens on it later.
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A command port whose transfer port (+1) is free too, on every address the console listens on.
inline quint16 freePortPair()
{
    constexpr int Attempts = 100;
    constexpr int LowestPort = 20000;
    constexpr int PortRange = 40000;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const auto base =
            static_cast<quint16>(LowestPort + QRandomGenerator::global()->bounded(PortRange));
        QTcpServer command;
        QTcpServer transfer;
        if (command.listen(QHostAddress::Any, base) && transfer.listen(QHostAddress::Any, base + 1))
            return base;
    }
    return 0;
}
