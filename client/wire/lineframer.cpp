#include "client/wire/lineframer.h"

#include <cstring>

namespace {
constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
} // namespace

LineFramer::LineFramer(int maxLineBytes) : maxLine(maxLineBytes) {}

void LineFramer::append(const char *data, qint64 len)
{
    while (len > 0 && discarding) {
        const void *lf = std::memchr(data, LineFeed, static_cast<size_t>(len));
        if (!lf) {
            discardedBytes += len;
            return;
        }
        const qint64 upto = static_cast<const char *>(lf) - data;
        discardedBytes += upto;
        dropped.append(discardedBytes);
        discardedBytes = 0;
        discarding = false;
        data += upto + 1;
        len -= upto + 1;
    }
    if (len <= 0)
        return;
    compact();
    buffer.append(data, static_cast<int>(len));
    dropOverlongTail();
}

void LineFramer::dropOverlongTail()
{
    const int lastLf = buffer.lastIndexOf(LineFeed);
    const int tailStart = qMax(lastLf + 1, readPos);
    const int tailLen = buffer.size() - tailStart;
    if (tailLen <= maxLine)
        return;
    discarding = true;
    discardedBytes = tailLen;
    buffer.truncate(tailStart);
    scannedTo = qMin(scannedTo, buffer.size());
}

bool LineFramer::hasLine() const
{
    return buffer.indexOf(LineFeed, qMax(readPos, scannedTo)) >= 0;
}

bool LineFramer::takeLine(QByteArray &line)
{
    for (;;) {
        const int lf = buffer.indexOf(LineFeed, qMax(readPos, scannedTo));
        if (lf < 0) {
            scannedTo = buffer.size();
            return false;
        }
        int end = lf;
        if (end > readPos && buffer.at(end - 1) == CarriageReturn)
            --end;
        const int start = readPos;
        readPos = lf + 1;
        scannedTo = readPos;
        if (lf - start > maxLine) {
            dropped.append(lf - start);
            continue;
        }
        line = buffer.mid(start, end - start);
        if (readPos == buffer.size()) {
            buffer.clear();
            readPos = scannedTo = 0;
        }
        return true;
    }
}

QList<qint64> LineFramer::takeDroppedLines()
{
    QList<qint64> out;
    out.swap(dropped);
    return out;
}

void LineFramer::compact()
{
    if (readPos == 0)
        return;
    buffer.remove(0, readPos);
    scannedTo -= readPos;
    readPos = 0;
}
