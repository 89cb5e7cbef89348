#include "transfer/transferlistener.h"

#include <QTcpSocket>

TransferListener::TransferListener(QObject *parent) : QTcpServer(parent) {}

void TransferListener::incomingConnection(qintptr socketDescriptor)
{
    // As QTcpServer does it, but unbuffered.
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                QIODevice::ReadWrite | QIODevice::Unbuffered);
    addPendingConnection(socket);
}
