#include "testkit/scriptedpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "transfer/transferlimits.h"

ScriptedPeer::ScriptedPeer(QObject *parent) : QObject(parent), tcpSocket(this)
{
    connect(&tcpSocket, &QTcpSocket::readyRead, this, [this] {
        data += tcpSocket.readAll();
        emit dataReceived();
    });
}

bool ScriptedPeer::connectTo(const QHostAddress &host, quint16 port, const QHostAddress &from,
                             int timeoutMs)
{
    tcpSocket.abort();
    if (!tcpSocket.bind(from.isNull() ? host : from, 0))
        return false;
    tcpSocket.connectToHost(host, port);
    const auto settled = [this] {
        return isConnected() || tcpSocket.state() == QTcpSocket::UnconnectedState;
    };
    return waitUntil(settled, timeoutMs) && isConnected();
}

bool ScriptedPeer::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(TransferLimits::PollMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
