#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// The head machine's connection to the console's transfer port for a dispatch: made from the
// machine's own address, retried until the console's listener takes it, then read as it comes.
class StreamFetcher : public QObject
{
    Q_OBJECT

public:
    explicit StreamFetcher(const QHostAddress &own, const QHostAddress &console, quint16 port,
                           QObject *parent = nullptr);

    void start();
    // Closes the connection once the whole stream is in; the console waits for that.
    void finish();
    void abort();

signals:
    void data(const QByteArray &bytes);
    // The console closed the connection.
    void closed();
    void failed(const QString &why);

private:
    void attempt();
    void stateChanged();

    QHostAddress own;
    QHostAddress console;
    quint16 port;
    QTcpSocket *socket = nullptr;
    QTimer retry;
    QElapsedTimer since;
    bool wasConnected = false;
    bool done = false;
};
