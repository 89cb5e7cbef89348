#pragma once

#include <QString>
#include <QtGlobal>

// The line that tells one machine what a dispatch brings: the transfer port, the file's name,
// its capacity, how to write it, the machines before and after it in the chain, and its media.
// A literal's Latin-1 view, usable in constant expressions with every compiler (the
// one-argument constructor measures with strlen, which only some compilers fold).
template <int N> constexpr QLatin1String latin1Literal(const char (&text)[N])
{
    return QLatin1String(text, N - 1);
}

struct DispatchCommand
{
    // Write the image file itself onto the machine, or expand it onto the devices.
    static constexpr QLatin1String MethodImage = latin1Literal("image");
    static constexpr QLatin1String MethodFull = latin1Literal("full");
    // A neighbour's field when there is none: the first machine's previous, the last's next.
    static constexpr QLatin1String NoNeighbour = latin1Literal(":");

    quint16 port = 0;
    QString fileName;
    qint64 capacity = 0;
    QString method;
    QString previous = NoNeighbour;
    QString next = NoNeighbour;
    QString media;

    QString line() const;

    // The name a path is announced by: the text after its last '/', every space and line break
    // removed.
    static QString announcedName(const QString &path);
    // The devices of one attending entry ("machine|dev|dev"): all after the first '|', without
    // the source marks.
    static QString mediaOf(const QString &attendEntry);
    static QString withoutSourceMarks(QString devices);
    // Where a neighbouring machine takes the stream from: its address and the transfer port.
    static QString neighbour(const QString &address, quint16 port);
    // Firmware update files are known by a mark anywhere in their path, in exactly these letters.
    static bool isFirmwarePath(const QString &path);
    // Sectors that a file of this many bytes fills, the last one partly.
    static qint64 sectorsOf(qint64 bytes);
};
