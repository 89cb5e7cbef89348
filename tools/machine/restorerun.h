#pragma once

#include "simdevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

// A dispatched image written onto devices ("full" method), told to the console as a run whose
// progress follows the stream: the position reached on the device against the image capacity.
class RestoreRun : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Name = "RESTORE";

    explicit RestoreRun(const QVector<SimDevice> &devices, qint64 capacity,
                        QObject *parent = nullptr);

    void start();
    void progress(qint64 position);
    // passed false: the stream broke or was refused; every device fails.
    void finish(bool passed, const QString &why = QString());

    // How much of the capacity a position has reached, 0 to 100 whatever the console named.
    static int percentOf(qint64 position, qint64 capacity);

signals:
    void line(const QByteArray &line);

private:
    void report(qint64 position);

    QVector<SimDevice> devices;
    qint64 capacity;
    QElapsedTimer sinceReport;
    bool started = false;
    bool ended = false;
};
