#pragma once

#include "dispatchorder.h"
#include "imagestore.h"
#include "imagestreamparser.h"
#include "simdevice.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

class RestoreRun;
class StreamFetcher;

// One machine's part in a dispatch: takes the stream (from the console when it heads the chain,
// else from the machine before it), checks it whole, and keeps it in the store ("image") or
// writes it onto the devices named in the media list ("full"). Every byte of the image is handed
// on through relayed() for the next machine of the chain.
class DispatchReceiver : public QObject
{
    Q_OBJECT

public:
    explicit DispatchReceiver(const DispatchOrder &order, const ImageStore &store,
                              const QVector<SimDevice> &devices, QObject *parent = nullptr);

    const DispatchOrder &order() const { return dispatch; }
    bool isEnded() const { return ended; }
    bool isFetching() const { return fetcher != nullptr; }

    // The head machine fetches the stream itself.
    void fetch(const QHostAddress &own, const QHostAddress &console);
    // Bytes from the machine before this one; the end of its stream.
    void feed(const QByteArray &bytes);
    void sourceEnded();
    void stop(const QString &why);

signals:
    void line(const QByteArray &line);
    void relayed(const QByteArray &bytes);
    void relayEnded();
    void finished(bool received, const QString &detail);

private:
    void begin();
    void end(bool received, const QString &detail);

    DispatchOrder dispatch;
    ImageStore store;
    QVector<SimDevice> targets;
    ImageStreamParser parser;
    QFile part;
    RestoreRun *restore = nullptr;
    StreamFetcher *fetcher = nullptr;
    QTimer idleLimit;
    bool begun = false;
    bool ended = false;
};
