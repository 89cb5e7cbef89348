#pragma once

#include <QString>
#include <QtGlobal>

// The line that tells one machine what a dispatch brings: the transfer port, the file's name,
// its capacity, how to write it, the machines before and after it in the chain, and its media.
struct DispatchCommand
{
    // Write the image file itself onto the machine, or expand it onto the devices.
    static constexpr QLatin1String MethodImage{"image"};
    static constexpr QLatin1String MethodFull{"full"};
    // A neighbour's field when there is none: the first machine's previous, the last's next.
    static constexpr QLatin1String NoNeighbour{":"};

    quint16 port = 0;
    QString fileName;
    qint64 capacity = 0;
    QString method;
    QString previous = NoNeighbour;
    QString next = NoNeighbour;
    QString media;

    QString line() const;

    // The name a path is announced by: the text after its last '/', every space removed.
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
