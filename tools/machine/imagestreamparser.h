#pragma once

#include "content.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Follows a dispatched image stream as it arrives, in pieces of any size, and checks it: head
// token and version, a table closed by an end entry within LogSize entries, the data of every run
// entry, and the tail's token and checksum when the head announces a tail.
class ImageStreamParser
{
public:
    enum class State
    {
        Head,
        Table,
        Data,
        Tail,
        Done,
        Failed
    };

    // Takes bytes of the stream; returns how many belong to the image. Stops taking at Done or
    // Failed.
    qint64 feed(const char *data, qint64 len);

    State state() const { return current; }
    bool isDone() const { return current == State::Done; }
    bool isFailed() const { return current == State::Failed; }
    QString error() const { return failure; }

    const ImageHead &head() const { return imageHead; }
    // Capacity in sectors from the end entry, once the table is in.
    qint64 capacity() const;
    // How far along the device the data has come, in sectors.
    qint64 position() const { return reached; }
    qint64 bytes() const { return taken; }

private:
    qint64 fill(const char *data, qint64 len, int want);
    void headIn();
    void entryIn();
    void nextRun();
    void tailIn();
    void fail(const QString &why);

    State current = State::Head;
    QString failure;
    QByteArray pending;
    ImageHead imageHead;
    QVector<SStripInLogDiskMy> table;
    int run = -1;
    qint64 runBytesLeft = 0;
    qint64 reached = 0;
    qint64 taken = 0;
    SimContent::Checksum checksum;
};
