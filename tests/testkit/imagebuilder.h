#pragma once

#include "image/stripinlogdisk.h"

#include <QByteArray>
#include <QList>

// Builds image streams and files for tests: head, table, sector data with a pattern that differs
// from sector to sector (so a misplaced or lost block shows), and the tail when asked for.
struct ImageBuilder
{
    // Which entries carry data: a load takes it for every entry before the end entry, a
    // dispatch only for runs.
    enum class Rule
    {
        Load,
        Dispatch
    };

    quint32 options = 0;
    quint32 version = 2;
    quint64 devCap = 0;
    quint32 checksum = 0;
    QList<SStripInLogDiskMy> entries;

    QByteArray head() const;
    QByteArray table() const;
    QByteArray data(Rule rule) const;
    QByteArray tail() const;
    QByteArray build(Rule rule) const { return head() + table() + data(rule) + tail(); }
};
