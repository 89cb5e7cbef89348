#include "image/imagefile.h"

#include "image/stripinlogdisk.h"

#include <QFile>
#include <QtEndian>

#include <cstring>
#include <limits>
#include <vector>

namespace {
constexpr int TokenOffset = 0;
constexpr int VersionOffset = 4;
constexpr int SliceSizeOffset = 8;
constexpr int OptionsOffset = 12;
constexpr int DevCapOffset = 16;
constexpr int Rev0Offset = 24;
constexpr int Rev1Offset = Rev0Offset + ImageHead::Rev0Count * 8;
constexpr int Rev2Offset = Rev1Offset + ImageHead::Rev1Count * 4;
static_assert(Rev2Offset + ImageHead::Rev2Count == ImageHead::Size, "head fields fill 408 bytes");

constexpr int TailTokenOffset = 0;
constexpr int TailChecksumOffset = 4;

// Entries read per pass of the capacity scan.
constexpr int ScanEntries = 4096;

constexpr qint64 Saturated = std::numeric_limits<qint64>::max();
} // namespace

ImageHead::Check ImageHead::check() const
{
    if (token != Token)
        return Check::BadToken;
    if (version != Version)
        return Check::BadVersion;
    return Check::Ok;
}

ImageHead ImageHead::decode(const char *bytes)
{
    ImageHead head;
    head.token = qFromLittleEndian<quint32>(bytes + TokenOffset);
    head.version = qFromLittleEndian<quint32>(bytes + VersionOffset);
    head.sliceSize = qFromLittleEndian<quint32>(bytes + SliceSizeOffset);
    head.options = qFromLittleEndian<quint32>(bytes + OptionsOffset);
    head.ulDevCap = qFromLittleEndian<quint64>(bytes + DevCapOffset);
    for (int i = 0; i < Rev0Count; ++i)
        head.Rev0[i] = qFromLittleEndian<quint64>(bytes + Rev0Offset + i * 8);
    for (int i = 0; i < Rev1Count; ++i)
        head.Rev1[i] = qFromLittleEndian<quint32>(bytes + Rev1Offset + i * 4);
    for (int i = 0; i < Rev2Count; ++i)
        head.Rev2[i] = static_cast<quint8>(bytes[Rev2Offset + i]);
    return head;
}

bool ImageHead::decode(const QByteArray &bytes, ImageHead &head)
{
    if (bytes.size() < Size)
        return false;
    head = decode(bytes.constData());
    return true;
}

void ImageHead::encode(char *bytes) const
{
    qToLittleEndian<quint32>(token, bytes + TokenOffset);
    qToLittleEndian<quint32>(version, bytes + VersionOffset);
    qToLittleEndian<quint32>(sliceSize, bytes + SliceSizeOffset);
    qToLittleEndian<quint32>(options, bytes + OptionsOffset);
    qToLittleEndian<quint64>(ulDevCap, bytes + DevCapOffset);
    for (int i = 0; i < Rev0Count; ++i)
        qToLittleEndian<quint64>(Rev0[i], bytes + Rev0Offset + i * 8);
    for (int i = 0; i < Rev1Count; ++i)
        qToLittleEndian<quint32>(Rev1[i], bytes + Rev1Offset + i * 4);
    for (int i = 0; i < Rev2Count; ++i)
        bytes[Rev2Offset + i] = static_cast<char>(Rev2[i]);
}

QByteArray ImageHead::encoded() const
{
    QByteArray bytes(Size, Qt::Uninitialized);
    encode(bytes.data());
    return bytes;
}

ImageHead ImageHead::built(quint32 options)
{
    ImageHead head;
    head.token = Token;
    head.version = Version;
    head.sliceSize = SliceSize;
    head.options = options;
    return head;
}

ImageTail ImageTail::decode(const char *bytes)
{
    ImageTail tail;
    tail.token = qFromLittleEndian<quint32>(bytes + TailTokenOffset);
    tail.checksum = qFromLittleEndian<quint32>(bytes + TailChecksumOffset);
    return tail;
}

bool ImageTail::decode(const QByteArray &bytes, ImageTail &tail)
{
    if (bytes.size() < Size)
        return false;
    tail = decode(bytes.constData());
    return true;
}

void ImageTail::encode(char *bytes) const
{
    qToLittleEndian<quint32>(token, bytes + TailTokenOffset);
    qToLittleEndian<quint32>(checksum, bytes + TailChecksumOffset);
}

QByteArray ImageTail::encoded() const
{
    QByteArray bytes(Size, Qt::Uninitialized);
    encode(bytes.data());
    return bytes;
}

QString checksumHex(quint32 checksum)
{
    return QString::number(checksum, 16);
}

qint64 imageCapacity(QIODevice &device)
{
    char headBytes[ImageHead::Size];
    if (device.read(headBytes, ImageHead::Size) != ImageHead::Size)
        return 0;
    if (ImageHead::decode(headBytes).check() != ImageHead::Check::Ok)
        return 0;

    std::vector<char> chunk(ScanEntries * SStripInLogDiskMy::Size);
    qint64 filled = 0;
    // A table holds at most LogSize entries; past them the file holds no table to scan.
    for (int scanned = 0; scanned < LogSize;) {
        const qint64 got = device.read(chunk.data() + filled, qint64(chunk.size()) - filled);
        if (got <= 0)
            return 0;
        filled += got;
        const qint64 whole = filled - filled % SStripInLogDiskMy::Size;
        for (qint64 at = 0; at < whole && scanned < LogSize; at += SStripInLogDiskMy::Size) {
            const SStripInLogDiskMy entry = SStripInLogDiskMy::decode(chunk.data() + at);
            if (entry.isEnd())
                return entry.cn_sector;
            ++scanned;
        }
        std::memmove(chunk.data(), chunk.data() + whole, size_t(filled - whole));
        filled -= whole;
    }
    return 0;
}

qint64 imageCapacity(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return imageCapacity(file);
}

qint64 sectorBytes(qint64 sectorCount)
{
    qint64 bytes = 0;
    return __builtin_mul_overflow(sectorCount, qint64(SectorSize), &bytes) ? Saturated : bytes;
}

qint64 saturatedSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? Saturated : sum;
}

qint64 imageStreamBytes(const ImageHead &head, int entryCount, qint64 dataBytes)
{
    const qint64 framing = ImageHead::Size + qint64(entryCount) * SStripInLogDiskMy::Size +
                           (head.hasTail() ? ImageTail::Size : 0);
    return saturatedSum(framing, dataBytes);
}
