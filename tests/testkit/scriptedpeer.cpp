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
    return waitUntil(
               [this] {
                   return isConnected() || tcpSocket.state() == QAbstractSocket::UnconnectedState;
               },
               timeoutMs) &&
           isConnected();
}

QList<QByteArray> ScriptedPeer::receivedLines() const
{
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast(); // the unfinished rest, empty when the data ends with a line feed
    return lines;
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
