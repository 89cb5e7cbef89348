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
                   return tcpSocket.state() == QAbstractSocket::ConnectedState ||
                          tcpSocket.state() == QAbstractSocket::UnconnectedState;
               },
               timeoutMs) &&
           isConnected();
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    tcpSocket.write(bytes);
}

void ScriptedPeer::sendLine(const QString &line)
{
    send(line.toUtf8() + '\n');
}

void ScriptedPeer::sendLines(const QStringList &lines)
{
    for (const QString &line : lines)
        sendLine(line);
}

bool ScriptedPeer::flush(int timeoutMs)
{
    return waitUntil([this] { return tcpSocket.bytesToWrite() == 0; }, timeoutMs);
}

QList<QByteArray> ScriptedPeer::receivedLines() const
{
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast(); // the unfinished rest, empty when the data ends with a line feed
    return lines;
}

bool ScriptedPeer::waitForReceived(int bytes, int timeoutMs)
{
    return waitUntil([this, bytes] { return data.size() >= bytes; }, timeoutMs);
}

void ScriptedPeer::disconnectFromHost()
{
    tcpSocket.disconnectFromHost();
}

void ScriptedPeer::abort()
{
    tcpSocket.abort();
}

bool ScriptedPeer::isConnected() const
{
    return tcpSocket.state() == QAbstractSocket::ConnectedState;
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
