// Image load throughput and memory: a machine process sends an image of one run on loopback as
// fast as it can; the console's ImageLoad stores it into a file, and, interleaved in the same
// run, a plain C socket-to-file receiver takes the same stream (the baseline).
//
//   bench_load [--sizes-mib 256,2048] [--rounds 3]

#include "benchkit.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "transfer/imageload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace benchkit;

namespace {
constexpr int ConnectLimitMs = 60000;
constexpr int ChunkBytes = 1024 * 1024;

qint64 streamBytes(qint64 dataBytes)
{
    return ImageHead::Size + 2 * SStripInLogDiskMy::Size + dataBytes;
}

bool sendAll(int fd, const char *data, qint64 len)
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
int runPeer(qint64 dataBytes)
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
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 131 + i / 4093);
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

int runConsole(quint16 port, qint64 dataBytes, const QString &target)
{
    ImageLoad::Request request;
    request.address = QStringLiteral("127.0.0.1");
    request.port = port;
    request.deviceName = QStringLiteral("SATA1");
    request.targetPath = target;
    ImageLoad load(
        request, [](const QString &) {}, [] { return false; });
    QElapsedTimer timer;
    timer.start();
    const ImageLoad::Result result = load.run([](const QString &) {}, ConnectLimitMs);
    const double seconds = timer.nsecsElapsed() / 1e9;
    printMeasure(result == ImageLoad::Result::Succeeded &&
                     QFileInfo(target).size() == streamBytes(dataBytes),
                 seconds);
    return 0;
}

int runBaseline(quint16 port, qint64 dataBytes, const QString &target)
{
    QElapsedTimer timer;
    timer.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const int out =
        ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 || out < 0)
        return 1;
    std::vector<char> buffer(ChunkBytes);
    qint64 total = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            break;
        for (ssize_t at = 0; ok && at < n;) {
            const ssize_t w = ::write(out, buffer.data() + at, size_t(n - at));
            ok = w > 0;
            at += w > 0 ? w : 0;
        }
        total += n;
    }
    ::close(out);
    ::close(fd);
    const double seconds = timer.nsecsElapsed() / 1e9;
    printMeasure(ok && total == streamBytes(dataBytes), seconds);
    return 0;
}

int orchestrate(const Options &options)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("load.img"));
    for (qint64 bytes : options.sizes) {
        QProcess *peer = startSelf({QStringLiteral("peer"), QString::number(bytes)});
        peer->waitForReadyRead();
        const QByteArray portLine = peer->readLine().trimmed();
        const QString port = QString::fromLatin1(portLine.mid(5));
        QVector<Measure> console, baseline;
        // Round -1 warms the page cache and the allocator up and is not counted.
        for (int round = -1; round < options.rounds; ++round) {
            // Alternate who goes first, so neither always meets the memory the other freed.
            for (int turn = 0; turn < 2; ++turn) {
                const bool consoleTurn = (turn == 0) == (round % 2 != 0);
                const QString mode =
                    consoleTurn ? QStringLiteral("console") : QStringLiteral("baseline");
                const Measure m =
                    parseMeasure(finish(startSelf({mode, port, QString::number(bytes), target})));
                if (round >= 0)
                    (consoleTurn ? console : baseline) << m;
                QFile::remove(target);
            }
        }
        peer->kill();
        finish(peer);
        report("load", streamBytes(bytes), console, baseline);
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("peer"))
        return runPeer(args.value(2).toLongLong());
    if (mode == QLatin1String("console"))
        return runConsole(quint16(args.value(2).toUInt()), args.value(3).toLongLong(),
                          args.value(4));
    if (mode == QLatin1String("baseline"))
        return runBaseline(quint16(args.value(2).toUInt()), args.value(3).toLongLong(),
                           args.value(4));
    return orchestrate(Options::parse(args));
}
