#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

// What this process holds of the system, from /proc.

inline qint64 residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// One entry per open file descriptor: what it leads to ("socket:[1234]", a path, ...).
inline QStringList openDescriptors()
{
    QStringList targets;
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(all))
        targets << fd.symLinkTarget();
    return targets;
}
