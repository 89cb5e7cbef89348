#pragma once

#include <QTcpServer>

// The console's listener on the transfer port. Its connections write unbuffered: a block goes
// from the file's buffer straight to the kernel, and only what the kernel cannot take yet is
// queued in the socket.
class TransferListener : public QTcpServer
{
    Q_OBJECT

public:
    explicit TransferListener(QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr socketDescriptor) override;
};
