#pragma once

// What the simulated machines hold on their devices and how they sum an image. Header-only so
// that the tests can rebuild every byte a machine sends and check it.

#include "image/imagefile.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtEndian>

namespace SimContent {

// One run of used sectors of a device, as a brief image lists it.
struct Run
{
    qint64 offset;
    qint64 sectors;
};

// splitmix64 finaliser: cheap and well spread, so neighbouring sectors never look alike.
inline quint64 mix(quint64 x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

// Identifies one device of one machine; every sector's content derives from it.
inline quint64 deviceSeed(const QString &machineName, const QString &portName)
{
    constexpr quint64 FnvOffset = 0xcbf29ce484222325ULL;
    constexpr quint64 FnvPrime = 0x100000001b3ULL;
    quint64 hash = FnvOffset;
    const QByteArray key = machineName.toUtf8() + '/' + portName.toUtf8();
    for (const char c : key) {
        hash ^= static_cast<quint8>(c);
        hash *= FnvPrime;
    }
    return hash;
}

// Sector content: its number and the device seed in the first 16 bytes (so a misplaced sector is
// plain to see in a dump), then pseudo-random words.
inline void fillSector(char *out, quint64 seed, qint64 sector)
{
    constexpr quint64 Golden = 0x9e3779b97f4a7c15ULL;
    qToLittleEndian<quint64>(static_cast<quint64>(sector), out);
    qToLittleEndian<quint64>(seed, out + 8);
    quint64 state = seed ^ (static_cast<quint64>(sector) * Golden);
    for (int at = 16; at < SectorSize; at += 8) {
        state += Golden;
        qToLittleEndian<quint64>(mix(state), out + at);
    }
}

inline QByteArray sectors(quint64 seed, qint64 first, qint64 count)
{
    QByteArray out(static_cast<int>(count * SectorSize), Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i)
        fillSector(out.data() + i * SectorSize, seed, first + i);
    return out;
}

// The used areas of a device of the given capacity (sectors): a boot area, runs just over and
// well over one transfer block, a single sector, a larger middle run and a run near the end.
// Runs are ascending, disjoint and inside the device; a small device keeps what fits.
inline QVector<Run> briefRuns(qint64 capacity)
{
    const Run wanted[] = {
        {0, 2048},
        {capacity / 16, 2049},
        {capacity / 8, 5000},
        {capacity / 4, 1},
        {capacity / 2, qMax<qint64>(1, qMin<qint64>(capacity / 32, 16384))},
        {capacity - capacity / 64, 777},
    };
    QVector<Run> runs;
    qint64 usedTo = 0;
    for (const Run &run : wanted) {
        const qint64 start = qMax(run.offset, usedTo);
        const qint64 length = qMin(run.sectors, capacity - start);
        if (length <= 0)
            continue;
        runs.append({start, length});
        usedTo = start + length;
    }
    return runs;
}

// The machines' image checksum over the data section: FNV-1a over little-endian 32-bit words.
class Checksum
{
public:
    // Chunks may end anywhere; a word split between two chunks is completed by the next one.
    void add(const char *data, qint64 len)
    {
        qint64 at = 0;
        for (; pendingBytes > 0 && at < len; ++at)
            feedByte(static_cast<quint8>(data[at]));
        for (; at + 4 <= len; at += 4)
            value = (value ^ qFromLittleEndian<quint32>(data + at)) * FnvPrime;
        for (; at < len; ++at)
            feedByte(static_cast<quint8>(data[at]));
    }
    void add(const QByteArray &data) { add(data.constData(), data.size()); }
    quint32 result() const { return value; }

private:
    static constexpr quint32 FnvPrime = 16777619u;

    void feedByte(quint8 byte)
    {
        pending |= static_cast<quint32>(byte) << (8 * pendingBytes);
        if (++pendingBytes == 4) {
            value = (value ^ pending) * FnvPrime;
            pending = 0;
            pendingBytes = 0;
        }
    }

    quint32 value = 2166136261u;
    quint32 pending = 0;
    int pendingBytes = 0;
};

} // namespace SimContent
