#pragma once

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

// What this process holds of the system, from /proc.

inline qint64 residentKiB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    const QRegularExpression rss("VmRSS:\\s*(\\d+)");
    return rss.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
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
