#include "image/stripinlogdisk.h"

#include <QtEndian>

namespace {
constexpr int TypeOffset = 0;
constexpr int TargetOffset = 1;
constexpr int SectorsOffset = 9;
} // namespace

qint64 SStripInLogDiskMy::dispatchSectors() const
{
    return tp_cmd == TypeRun && cn_sector > 0 ? cn_sector : 0;
}

qint64 SStripInLogDiskMy::loadSectors() const
{
    return cn_sector > 0 ? cn_sector : 0;
}

SStripInLogDiskMy SStripInLogDiskMy::decode(const char *bytes)
{
    SStripInLogDiskMy entry;
    entry.tp_cmd = static_cast<quint8>(bytes[TypeOffset]);
    entry.off_trg = qFromLittleEndian<qint64>(bytes + TargetOffset);
    entry.cn_sector = qFromLittleEndian<qint64>(bytes + SectorsOffset);
    return entry;
}

bool SStripInLogDiskMy::decode(const QByteArray &bytes, SStripInLogDiskMy &entry)
{
    if (bytes.size() < Size)
        return false;
    entry = decode(bytes.constData());
    return true;
}

void SStripInLogDiskMy::encode(char *bytes) const
{
    bytes[TypeOffset] = static_cast<char>(tp_cmd);
    qToLittleEndian<qint64>(off_trg, bytes + TargetOffset);
    qToLittleEndian<qint64>(cn_sector, bytes + SectorsOffset);
}

QByteArray SStripInLogDiskMy::encoded() const
{
    QByteArray bytes(Size, Qt::Uninitialized);
    encode(bytes.data());
    return bytes;
}

SStripInLogDiskMy SStripInLogDiskMy::run(qint64 offset, qint64 sectors)
{
    SStripInLogDiskMy entry;
    entry.tp_cmd = TypeRun;
    entry.off_trg = offset;
    entry.cn_sector = sectors;
    return entry;
}

SStripInLogDiskMy SStripInLogDiskMy::end(qint64 offset, qint64 capacity)
{
    SStripInLogDiskMy entry;
    entry.tp_cmd = TypeEnd;
    entry.off_trg = offset;
    entry.cn_sector = capacity;
    return entry;
}
