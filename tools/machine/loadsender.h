#pragma once

#include "imagesource.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <memory>

class QTcpSocket;

// The machine's side of a load: listens on its own address at the transfer port, takes the
// console's one connection and streams the image to it as fast as the socket drains.
class LoadSender : public QObject
{
    Q_OBJECT

public:
    // Without a source the connection is taken and closed at once, so the console's load fails
    // now instead of waiting out its time limit.
    explicit LoadSender(std::unique_ptr<ImageSource> source, QObject *parent = nullptr);
    ~LoadSender() override;

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return server.errorString(); }
    void stop();

signals:
    void finished(bool sent, const QString &detail);

private:
    void accept();
    void pump();
    void closed();
    void end(bool sent, const QString &detail);

    std::unique_ptr<ImageSource> source;
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    QTimer acceptLimit;
    qint64 bytesSent = 0;
    bool sourceDone = false;
    bool ended = false;
};
