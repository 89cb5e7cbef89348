#pragma once

#include "image/stripinlogdisk.h"

#include <memory>

// The brief log table of one transfer: its entries in order, up to and including the end entry,
// never more than LogSize. Room for LogSize entries is taken once, as the transfers' memory
// budget counts it.
class BriefLogTable
{
public:
    // Empties the table, taking its room the first time. False when the memory cannot be had.
    bool allocate();
    bool isAllocated() const { return entries != nullptr; }

    // Only while !isComplete().
    void append(const SStripInLogDiskMy &entry);
    // The end entry was taken, or LogSize entries were.
    bool isComplete() const;

    int size() const { return count; }
    const SStripInLogDiskMy &at(int index) const { return entries[index]; }
    bool hasEnd() const;
    // The entries whose data follows the table: those before the end entry, or all of them
    // when the table was cut at LogSize without one.
    int runCount() const { return hasEnd() ? count - 1 : count; }

    qint64 dispatchDataBytes() const;
    qint64 loadDataBytes() const;

private:
    std::unique_ptr<SStripInLogDiskMy[]> entries;
    int count = 0;
};
