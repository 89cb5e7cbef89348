#include "imagestreamparser.h"

#include <limits>

namespace {
// A run is written at its position on the device: one before the first sector or ending past
// the largest sector number has no place on any device, and its position cannot be counted.
bool isPlaceable(const SStripInLogDiskMy &entry)
{
    return entry.dispatchSectors() == 0 ||
           (entry.off_trg >= 0 &&
            entry.off_trg <= std::numeric_limits<qint64>::max() - entry.cn_sector);
}
} // namespace

qint64 ImageStreamParser::feed(const char *data, qint64 len)
{
    qint64 used = 0;
    while (used < len) {
        const char *at = data + used;
        const qint64 left = len - used;
        switch (current) {
        case State::Head:
            used += fill(at, left, ImageHead::Size);
            if (pending.size() == ImageHead::Size)
                headIn();
            break;
        case State::Table:
            used += fill(at, left, SStripInLogDiskMy::Size);
            if (pending.size() == SStripInLogDiskMy::Size)
                entryIn();
            break;
        case State::Data: {
            const qint64 n = qMin(left, runBytesLeft);
            checksum.add(at, n);
            used += n;
            runBytesLeft -= n;
            const SStripInLogDiskMy &entry = table.at(run);
            reached = entry.off_trg + (sectorBytes(entry.cn_sector) - runBytesLeft) / SectorSize;
            if (runBytesLeft == 0)
                nextRun();
            break;
        }
        case State::Tail:
            used += fill(at, left, ImageTail::Size);
            if (pending.size() == ImageTail::Size)
                tailIn();
            break;
        case State::Done:
        case State::Failed:
            taken += used;
            return used;
        }
    }
    taken += used;
    return used;
}

qint64 ImageStreamParser::fill(const char *data, qint64 len, int want)
{
    const int n = static_cast<int>(qMin<qint64>(len, want - pending.size()));
    pending.append(data, n);
    return n;
}

void ImageStreamParser::headIn()
{
    imageHead = ImageHead::decode(pending.constData());
    pending.clear();
    switch (imageHead.check()) {
    case ImageHead::Check::BadToken:
        fail(QStringLiteral("image head token is not correct"));
        return;
    case ImageHead::Check::BadVersion:
        fail(QStringLiteral("image version %1 is not supported").arg(imageHead.version));
        return;
    case ImageHead::Check::Ok:
        current = State::Table;
        return;
    }
}

void ImageStreamParser::entryIn()
{
    const SStripInLogDiskMy entry = SStripInLogDiskMy::decode(pending.constData());
    pending.clear();
    table.append(entry);
    if (entry.isEnd() && entry.cn_sector < 0)
        fail(QStringLiteral("image capacity %1 is not a number of sectors").arg(entry.cn_sector));
    else if (entry.isEnd())
        nextRun();
    else if (!isPlaceable(entry))
        fail(QStringLiteral("image table entry %1 lies outside any device").arg(table.size()));
    else if (table.size() == LogSize)
        fail(QStringLiteral("image table has no end entry within %1 entries").arg(LogSize));
}

// Only run entries carry data in a dispatched stream.
void ImageStreamParser::nextRun()
{
    const int ends = table.size() - 1;
    while (++run < ends) {
        runBytesLeft = sectorBytes(table.at(run).dispatchSectors());
        if (runBytesLeft > 0) {
            current = State::Data;
            return;
        }
    }
    reached = capacity();
    current = imageHead.hasTail() ? State::Tail : State::Done;
}

void ImageStreamParser::tailIn()
{
    const ImageTail tail = ImageTail::decode(pending.constData());
    pending.clear();
    if (!tail.isTokenValid())
        fail(QStringLiteral("image tail token is not correct"));
    else if (tail.checksum != checksum.result())
        fail(QStringLiteral("image checksum 0x%1 does not match the data (0x%2)")
                 .arg(checksumHex(tail.checksum), checksumHex(checksum.result())));
    else
        current = State::Done;
}

qint64 ImageStreamParser::capacity() const
{
    return !table.isEmpty() && table.last().isEnd() ? table.last().cn_sector : 0;
}

void ImageStreamParser::fail(const QString &why)
{
    failure = why;
    current = State::Failed;
}
