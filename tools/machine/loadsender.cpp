#include "loadsender.h"

#include "image/imagefile.h"

#include <QTcpSocket>

namespace {
// The longest a console waits to connect for a load (a stored file upload).
constexpr int AcceptLimitMs = 300000;
// Bytes handed to the socket ahead of the network; enough to keep loopback busy.
constexpr qint64 HighWaterBytes = 4 * BUFFER_SIZE;
} // namespace

LoadSender::LoadSender(std::unique_ptr<ImageSource> source, QObject *parent)
    : QObject(parent), source(std::move(source))
{
    acceptLimit.setSingleShot(true);
    acceptLimit.setInterval(AcceptLimitMs);
    connect(&acceptLimit, &QTimer::timeout, this,
            [this] { end(false, QStringLiteral("the console did not connect")); });
    connect(&server, &QTcpServer::newConnection, this, &LoadSender::accept);
}

LoadSender::~LoadSender()
{
    ended = true; // no signal from a sender going away
    if (socket)
        socket->abort();
}

bool LoadSender::listen(const QHostAddress &address, quint16 port)
{
    if (!server.listen(address, port))
        return false;
    acceptLimit.start();
    return true;
}

void LoadSender::accept()
{
    socket = server.nextPendingConnection();
    if (!socket)
        return;
    // One connection per load: the port is free again for the next one.
    server.close();
    acceptLimit.stop();
    socket->setParent(this);
    connect(socket, &QTcpSocket::bytesWritten, this, &LoadSender::pump);
    connect(socket, &QTcpSocket::disconnected, this, &LoadSender::closed);
    if (!source) {
        end(false, QStringLiteral("nothing to send"));
        socket->close();
        return;
    }
    pump();
}

void LoadSender::pump()
{
    while (!ended && !sourceDone && socket->bytesToWrite() < HighWaterBytes) {
        QByteArray chunk;
        if (!source->read(chunk, BUFFER_SIZE)) {
            end(false, source->error());
            socket->abort();
            return;
        }
        if (chunk.isEmpty()) {
            sourceDone = true;
            socket->disconnectFromHost(); // after what is still queued
            return;
        }
        socket->write(chunk);
        bytesSent += chunk.size();
    }
}

void LoadSender::closed()
{
    if (ended)
        return;
    if (sourceDone && socket->bytesToWrite() == 0)
        end(true, QStringLiteral("%1 bytes sent").arg(bytesSent));
    else
        end(false,
            QStringLiteral("the console closed the connection after %1 bytes").arg(bytesSent));
}

void LoadSender::stop()
{
    end(false, QStringLiteral("stopped"));
    if (socket)
        socket->abort();
}

void LoadSender::end(bool sent, const QString &detail)
{
    if (ended)
        return;
    ended = true;
    server.close();
    acceptLimit.stop();
    emit finished(sent, detail);
}
