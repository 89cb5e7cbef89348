#pragma once

#include <QByteArray>
#include <QtGlobal>

// Most entries a brief log table may hold, end entry included.
constexpr int LogSize = 61680;

// One entry of an image's brief log table: a run of sectors on the device, or the end entry.
// Packed so that its size is the size on disk; bytes are never cast to it (see decode()).
#pragma pack(push, 1)
struct SStripInLogDiskMy
{
    static constexpr quint8 TypeRun = 1;
    static constexpr quint8 TypeEnd = 3;
    static constexpr int Size = 17;

    quint8 tp_cmd = 0;
    qint64 off_trg = 0;   // position on the device, in sectors; carried, never interpreted
    qint64 cn_sector = 0; // run length in sectors; in the end entry the image capacity

    bool isEnd() const { return tp_cmd == TypeEnd; }
    // Sectors a dispatch takes from the file for this entry: only runs carry data there.
    qint64 dispatchSectors() const;
    // Sectors a load takes from the machine for this entry, whatever its type.
    qint64 loadSectors() const;

    // From exactly Size bytes.
    static SStripInLogDiskMy decode(const char *bytes);
    // False when fewer than Size bytes are given; bytes beyond Size are ignored.
    static bool decode(const QByteArray &bytes, SStripInLogDiskMy &entry);
    void encode(char *bytes) const;
    QByteArray encoded() const;

    static SStripInLogDiskMy run(qint64 offset, qint64 sectors);
    static SStripInLogDiskMy end(qint64 offset, qint64 capacity);
};
#pragma pack(pop)
static_assert(sizeof(SStripInLogDiskMy) == SStripInLogDiskMy::Size,
              "a table entry is 17 bytes on disk");
