#include "image/imagelayout.h"

#include <QIODevice>

qint64 ImageLayout::expectedSize() const
{
    return imageStreamBytes(head, entries, dataBytes);
}

ImageLayout ImageLayout::read(QIODevice &device)
{
    ImageLayout layout;
    layout.fileSize = device.size();
    layout.fault = layout.walk(device);
    return layout;
}

ImageLayout::Fault ImageLayout::walk(QIODevice &device)
{
    if (!device.seek(0) || !ImageHead::decode(device.read(ImageHead::Size), head))
        return Fault::ShortHead;
    switch (head.check()) {
    case ImageHead::Check::BadToken:
        return Fault::BadToken;
    case ImageHead::Check::BadVersion:
        return Fault::BadVersion;
    case ImageHead::Check::Ok:
        break;
    }

    const Fault tableFault = walkTable(device);
    if (tableFault != Fault::None)
        return tableFault;

    const qint64 dataEnd = saturatedSum(dataOffset(), dataBytes);
    if (fileSize < dataEnd)
        return Fault::TruncatedData;
    if (head.hasTail()) {
        char bytes[ImageTail::Size];
        tailPresent = fileSize - dataEnd >= ImageTail::Size && device.seek(dataEnd) &&
                      device.read(bytes, ImageTail::Size) == ImageTail::Size;
        if (!tailPresent)
            return Fault::MissingTail;
        tail = ImageTail::decode(bytes);
        if (!tail.isTokenValid())
            return Fault::BadTail;
    }
    return fileSize > expectedSize() ? Fault::TrailingBytes : Fault::None;
}

ImageLayout::Fault ImageLayout::walkTable(QIODevice &device)
{
    // LogSize entries at most: 16 bytes under 1 MiB, whatever the image's size.
    const QByteArray table = device.read(qint64(LogSize) * SStripInLogDiskMy::Size);
    Fault fault = Fault::None;
    for (int at = 0; at + SStripInLogDiskMy::Size <= table.size(); at += SStripInLogDiskMy::Size) {
        const SStripInLogDiskMy entry = SStripInLogDiskMy::decode(table.constData() + at);
        ++entries;
        if (entry.isEnd()) {
            hasEnd = true;
            capacity = entry.cn_sector;
            break;
        }
        // The first fault counts; the table is still read on for its counts.
        if (entry.cn_sector < 0 && fault == Fault::None) {
            fault = Fault::NegativeRun;
            faultEntry = entries - 1;
        }
        if (entry.loadSectors() > 0)
            ++dataEntries;
        dataBytes = saturatedSum(dataBytes, sectorBytes(entry.loadSectors()));
    }
    if (fault == Fault::None && !hasEnd)
        fault = Fault::NoEndEntry;
    return fault;
}
