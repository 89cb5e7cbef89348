#include "imagebuilder.h"

#include "image/imagefile.h"

QByteArray ImageBuilder::head() const
{
    ImageHead head = ImageHead::built(options);
    head.version = version;
    head.ulDevCap = devCap;
    return head.encoded();
}

QByteArray ImageBuilder::table() const
{
    QByteArray bytes;
    for (const SStripInLogDiskMy &entry : entries) {
        bytes += entry.encoded();
        if (entry.isEnd())
            break;
    }
    return bytes;
}

QByteArray ImageBuilder::data(Rule rule) const
{
    QByteArray bytes;
    quint32 state = 0x9e3779b9u;
    for (const SStripInLogDiskMy &entry : entries) {
        if (entry.isEnd())
            break;
        const qint64 sectors = rule == Rule::Load ? entry.loadSectors() : entry.dispatchSectors();
        const qint64 start = bytes.size();
        bytes.resize(int(start + sectors * SectorSize));
        for (qint64 i = start; i < bytes.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            bytes[int(i)] = char(state >> 24);
        }
    }
    return bytes;
}

QByteArray ImageBuilder::tail() const
{
    if (!(options & ImageHead::OptionFastChecksum))
        return QByteArray();
    ImageTail tail;
    tail.token = ImageTail::Token;
    tail.checksum = checksum;
    return tail.encoded();
}
