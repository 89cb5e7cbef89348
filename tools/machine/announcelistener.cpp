#include "announcelistener.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {
constexpr int LongestAddressText = 15; // "255.255.255.255"
} // namespace

AnnounceListener::AnnounceListener(QObject *parent) : QObject(parent), socket(new QUdpSocket(this))
{
    connect(socket, &QUdpSocket::readyRead, this, &AnnounceListener::readDatagrams);
}

bool AnnounceListener::listen(quint16 port)
{
    // Several machine programs on one computer all hear the broadcast.
    return socket->bind(QHostAddress::AnyIPv4, port,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
}

QString AnnounceListener::errorString() const
{
    return socket->errorString();
}

QHostAddress AnnounceListener::parse(const QByteArray &datagram)
{
    if (datagram.isEmpty() || datagram.size() > LongestAddressText)
        return QHostAddress();
    for (const char c : datagram)
        if (c != '.' && (c < '0' || c > '9'))
            return QHostAddress();
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(datagram)) ||
        address.protocol() != QAbstractSocket::IPv4Protocol)
        return QHostAddress();
    return address;
}

void AnnounceListener::readDatagrams()
{
    while (socket->hasPendingDatagrams()) {
        const QHostAddress address = parse(socket->receiveDatagram().data());
        if (!address.isNull())
            emit consoleAnnounced(address);
    }
}
