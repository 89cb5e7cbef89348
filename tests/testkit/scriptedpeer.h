#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>

#include <functional>

// A scripted machine on loopback: connects to the console's command port, sends raw bytes or
// lines exactly as given, and records every byte the console sends back.
class ScriptedPeer : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 5000;

    explicit ScriptedPeer(QObject *parent = nullptr);

    // Connects to host:port, bound to the local address `from` (host itself when null, so that a
    // peer reaching 127.0.0.2 also comes from there). Runs the event loop until connected.
    bool connectTo(const QHostAddress &host, quint16 port,
                   const QHostAddress &from = QHostAddress(), int timeoutMs = DefaultTimeoutMs);

    void send(const QByteArray &bytes) { tcpSocket.write(bytes); }
    // UTF-8 text with a line feed appended to each line.
    void sendLine(const QString &line) { send(line.toUtf8() + '\n'); }
    void sendLines(const QStringList &lines)
    {
        for (const QString &line : lines)
            sendLine(line);
    }
    // Runs the event loop until everything sent has left the socket.
    bool flush(int timeoutMs = DefaultTimeoutMs)
    {
        return waitUntil([this] { return tcpSocket.bytesToWrite() == 0; }, timeoutMs);
    }

    QByteArray received() const { return data; }
    // Complete lines received so far, without their line feeds.
    QList<QByteArray> receivedLines() const { return data.split('\n').mid(0, data.count('\n')); }
    void clearReceived() { data.clear(); }
    // Runs the event loop until at least `bytes` bytes have been received in all.
    bool waitForReceived(int bytes, int timeoutMs = DefaultTimeoutMs)
    {
        return waitUntil([this, bytes] { return data.size() >= bytes; }, timeoutMs);
    }

    void disconnectFromHost() { tcpSocket.disconnectFromHost(); }
    void abort() { tcpSocket.abort(); }
    bool isConnected() const { return tcpSocket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket *socket() { return &tcpSocket; }

    // Runs the event loop, sleeping between events, until the condition holds or time is up.
    static bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

signals:
    void dataReceived();

private:
    QTcpSocket tcpSocket;
    QByteArray data;
};
