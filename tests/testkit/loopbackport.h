#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A port of 127.0.0.1 that was free a moment ago, for a peer that listens on it later.
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
