#pragma once

#include <QByteArray>
#include <QList>

// Cuts a byte stream into lines ended by a line feed (a carriage return before it is dropped too).
// A line longer than the limit is dropped up to its line feed, so the memory held stays bounded.
class LineFramer
{
public:
    explicit LineFramer(int maxLineBytes);

    void append(const char *data, qint64 len);
    void append(const QByteArray &data) { append(data.constData(), data.size()); }

    // The next complete line without its ending; false when no complete line is buffered.
    bool takeLine(QByteArray &line);
    bool hasLine() const;

    qint64 bufferedBytes() const { return buffer.size() - readPos; }
    int maxLineBytes() const { return maxLine; }

    // Lengths of the lines dropped since the last call, each reported once its line feed came.
    QList<qint64> takeDroppedLines();

private:
    void dropOverlongTail();
    void compact();

    int maxLine;
    QByteArray buffer;
    int readPos = 0;
    int scannedTo = 0;  // no line feed in [readPos, scannedTo)
    bool discarding = false;
    qint64 discardedBytes = 0;
    QList<qint64> dropped;
};
