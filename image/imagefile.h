#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

constexpr int SectorSize = 512;
// Sector data moves in blocks of at most this many sectors.
constexpr int BlockSectors = 2048;
constexpr int BUFFER_SIZE = BlockSectors * SectorSize;

// The head of an image file and stream. Packed so that its size is the size on disk; bytes are
// never cast to it (see decode()).
#pragma pack(push, 1)
struct ImageHead
{
    static constexpr quint32 Token = 0x22156076;
    static constexpr quint32 Version = 2;
    static constexpr quint32 SliceSize = (BUFFER_SIZE - SectorSize) / SectorSize;
    static constexpr quint32 OptionFastChecksum = 1; // a tail follows the data
    static constexpr int Size = 408;
    static constexpr int Rev0Count = 16;
    static constexpr int Rev1Count = 32;
    static constexpr int Rev2Count = 128;

    enum class Check
    {
        Ok,
        BadToken,
        BadVersion
    };

    quint32 token = 0;
    quint32 version = 0;
    quint32 sliceSize = 0;
    quint32 options = 0;
    quint64 ulDevCap = 0; // as the machine states it; only shown
    quint64 Rev0[Rev0Count] = {};
    quint32 Rev1[Rev1Count] = {};
    quint8 Rev2[Rev2Count] = {};

    bool hasTail() const { return (options & OptionFastChecksum) != 0; }
    // The token is looked at before the version.
    Check check() const;

    // From exactly Size bytes.
    static ImageHead decode(const char *bytes);
    // False when fewer than Size bytes are given; bytes beyond Size are ignored.
    static bool decode(const QByteArray &bytes, ImageHead &head);
    void encode(char *bytes) const;
    QByteArray encoded() const;

    // A head as the console builds it itself; everything else stays zero.
    static ImageHead built(quint32 options);
};

// Follows the sector data when the head's options ask for it.
struct ImageTail
{
    static constexpr quint32 Token = 0x67065122;
    static constexpr int Size = 8;

    quint32 token = 0;
    quint32 checksum = 0; // the machine's; carried, never computed here

    bool isTokenValid() const { return token == Token; }

    static ImageTail decode(const char *bytes);
    static bool decode(const QByteArray &bytes, ImageTail &tail);
    void encode(char *bytes) const;
    QByteArray encoded() const;
};
#pragma pack(pop)
static_assert(sizeof(ImageHead) == ImageHead::Size, "the image head is 408 bytes on disk");
static_assert(sizeof(ImageTail) == ImageTail::Size, "the image tail is 8 bytes on disk");

// Lower-case hexadecimal without leading zeros, as the checksum line shows it.
QString checksumHex(quint32 checksum);

// Capacity in sectors named by the end entry of an image's table, or 0 when the head is short or
// refused or no end entry comes within LogSize entries. Reads from the device's current position.
qint64 imageCapacity(QIODevice &device);
qint64 imageCapacity(const QString &fileName);

// Sectors of the next block of a run with sectorsLeft sectors still to move.
inline int nextBlockSectors(qint64 sectorsLeft)
{
    return sectorsLeft < BlockSectors ? int(sectorsLeft) : BlockSectors;
}

// Bytes of sectorCount sectors, saturating instead of overflowing on absurd counts.
qint64 sectorBytes(qint64 sectorCount);
qint64 saturatedSum(qint64 a, qint64 b);
// Whole stream: head, table of entryCount entries, data and, when the head asks, tail.
qint64 imageStreamBytes(const ImageHead &head, int entryCount, qint64 dataBytes);
