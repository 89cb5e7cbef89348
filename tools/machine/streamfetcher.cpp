#include "streamfetcher.h"

#include "image/imagefile.h"

#include <QTcpSocket>

namespace {
constexpr int RetryMs = 100;
// The console may take up to 60 s to open its listener and then waits 60 s for a connection.
constexpr int ConnectLimitMs = 125000;
constexpr qint64 ReadBufferBytes = 4 * BUFFER_SIZE;
} // namespace

StreamFetcher::StreamFetcher(const QHostAddress &own, const QHostAddress &console, quint16 port,
                             QObject *parent)
    : QObject(parent), own(own), console(console), port(port)
{
    retry.setSingleShot(true);
    retry.setInterval(RetryMs);
    connect(&retry, &QTimer::timeout, this, &StreamFetcher::attempt);
}

void StreamFetcher::start()
{
    since.start();
    attempt();
}

void StreamFetcher::attempt()
{
    if (done)
        return;
    if (socket)
        socket->deleteLater();
    socket = new QTcpSocket(this);
    socket->setReadBufferSize(ReadBufferBytes);
    QTcpSocket *s = socket;
    connect(s, &QTcpSocket::stateChanged, this, [this, s] {
        if (s == socket)
            stateChanged();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (!done)
            emit data(s->readAll());
    });
    if (!socket->bind(own)) {
        done = true;
        emit failed(
            QStringLiteral("cannot use address %1: %2").arg(own.toString(), socket->errorString()));
        return;
    }
    socket->connectToHost(console, port);
}

void StreamFetcher::stateChanged()
{
    const QAbstractSocket::SocketState state = socket->state();
    if (state == QAbstractSocket::ConnectedState) {
        wasConnected = true;
    } else if (state == QAbstractSocket::UnconnectedState && !done) {
        if (wasConnected) {
            // What arrived with the close is still to be read.
            if (socket->bytesAvailable() > 0)
                emit data(socket->readAll());
            done = true;
            emit closed();
        } else if (since.elapsed() > ConnectLimitMs) {
            done = true;
            emit failed(QStringLiteral("the console did not accept a connection on %1:%2")
                            .arg(console.toString())
                            .arg(port));
        } else {
            retry.start();
        }
    }
}

void StreamFetcher::finish()
{
    done = true;
    if (socket)
        socket->disconnectFromHost();
}

void StreamFetcher::abort()
{
    done = true;
    retry.stop();
    if (socket)
        socket->abort();
}
