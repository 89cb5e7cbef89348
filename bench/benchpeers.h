#pragma once

// The machines of the transfer benchmarks, as plain C on loopback: a sink that takes a dispatch
// and a peer that serves a load; and the image of one run that both move.

#include "benchkit.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace benchkit {

constexpr int ChunkBytes = 1024 * 1024;
constexpr int ConnectRetryUs = 1000;

// The data of every benchmark image, the same on both sides.
inline void fillPattern(char *data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        data[i] = char(i * 131 + i / 4093);
}

inline qint64 streamBytes(qint64 dataBytes)
{
    return ImageHead::Size + 2 * SStripInLogDiskMy::Size + dataBytes;
}

inline bool writeImage(const QString &name, qint64 dataBytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 sectors = dataBytes / SectorSize;
    file.write(ImageHead::built(0).encoded() + SStripInLogDiskMy::run(0, sectors).encoded() +
               SStripInLogDiskMy::end(sectors, sectors).encoded());
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    fillPattern(chunk.data(), size_t(chunk.size()));
    for (qint64 left = dataBytes; left > 0; left -= ChunkBytes)
        if (file.write(chunk.constData(), qMin<qint64>(left, ChunkBytes)) < 0)
            return false;
    return true;
}

// The machine: connects (again while refused), reads everything, closes once the whole stream
// is in, and reports how long the bytes took from the connection on.
inline int runSink(quint16 port, qint64 expected)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    int fd = -1;
    for (;;) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0)
            break;
        ::close(fd);
        ::usleep(ConnectRetryUs);
    }
    QElapsedTimer timer;
    timer.start();
    std::vector<char> buffer(ChunkBytes);
    qint64 total = 0;
    while (total < expected) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            break;
        total += n;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::close(fd);
    printMeasure(total == expected, seconds);
    return 0;
}

inline bool sendAll(int fd, const char *data, qint64 len)
{
    while (len > 0) {
        const ssize_t n = ::send(fd, data, size_t(len), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        len -= n;
    }
    return true;
}

// The machine: serves every connection with the whole stream, until it is killed.
inline int runPeer(qint64 dataBytes)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return 1;
    std::printf("PORT %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);

    const qint64 sectors = dataBytes / SectorSize;
    const QByteArray framing = ImageHead::built(0).encoded() +
                               SStripInLogDiskMy::run(0, sectors).encoded() +
                               SStripInLogDiskMy::end(sectors, sectors).encoded();
    std::vector<char> chunk(ChunkBytes);
    fillPattern(chunk.data(), chunk.size());
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return 1;
        bool ok = sendAll(fd, framing.constData(), framing.size());
        for (qint64 left = dataBytes; ok && left > 0; left -= ChunkBytes)
            ok = sendAll(fd, chunk.data(), qMin<qint64>(left, ChunkBytes));
        ::close(fd);
    }
}

} // namespace benchkit
