#include "image/brieflogtable.h"

#include "image/imagefile.h"

#include <new>

bool BriefLogTable::allocate()
{
    if (!entries)
        entries.reset(new (std::nothrow) SStripInLogDiskMy[LogSize]);
    count = 0;
    return entries != nullptr;
}

void BriefLogTable::append(const SStripInLogDiskMy &entry)
{
    Q_ASSERT(entries && !isComplete());
    entries[count++] = entry;
}

bool BriefLogTable::isComplete() const
{
    return count == LogSize || hasEnd();
}

bool BriefLogTable::hasEnd() const
{
    return count > 0 && entries[count - 1].isEnd();
}

qint64 BriefLogTable::dispatchDataBytes() const
{
    qint64 bytes = 0;
    for (int i = 0; i < runCount(); ++i)
        bytes = saturatedSum(bytes, sectorBytes(entries[i].dispatchSectors()));
    return bytes;
}

qint64 BriefLogTable::loadDataBytes() const
{
    qint64 bytes = 0;
    for (int i = 0; i < runCount(); ++i)
        bytes = saturatedSum(bytes, sectorBytes(entries[i].loadSectors()));
    return bytes;
}
