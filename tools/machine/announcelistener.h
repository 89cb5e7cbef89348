#pragma once

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// Hears the console's announcement: a datagram holding only the console's IPv4 address as text.
class AnnounceListener : public QObject
{
    Q_OBJECT

public:
    explicit AnnounceListener(QObject *parent = nullptr);

    bool listen(quint16 port);
    QString errorString() const;

    // The console's address from a datagram, or a null address for anything else.
    static QHostAddress parse(const QByteArray &datagram);

signals:
    void consoleAnnounced(const QHostAddress &address);

private:
    void readDatagrams();

    QUdpSocket *socket;
};
