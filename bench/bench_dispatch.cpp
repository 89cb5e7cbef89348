// Image dispatch throughput and memory: the console's ImageDispatch sends an image file of one run
// to a machine process on loopback that reads as fast as it can, and, interleaved in the same
// run, a plain C file-to-socket sender sends the same file (the baseline). Rates are taken at
// the receiving machine.
//
//   bench_dispatch [--sizes-mib 256,2048] [--rounds 3]

#include "benchkit.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "transfer/imagedispatch.h"
#include "transfer/transferlimits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace benchkit;

namespace {
constexpr int ChunkBytes = 1024 * 1024;
constexpr int ConnectRetryUs = 1000;

qint64 streamBytes(qint64 dataBytes)
{
    return ImageHead::Size + 2 * SStripInLogDiskMy::Size + dataBytes;
}

bool writeImage(const QString &name, qint64 dataBytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 sectors = dataBytes / SectorSize;
    file.write(ImageHead::built(0).encoded() + SStripInLogDiskMy::run(0, sectors).encoded() +
               SStripInLogDiskMy::end(sectors, sectors).encoded());
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 131 + i / 4093);
    for (qint64 left = dataBytes; left > 0; left -= ChunkBytes)
        if (file.write(chunk.constData(), qMin<qint64>(left, ChunkBytes)) < 0)
            return false;
    return true;
}

// The machine: connects (again while refused), reads everything, closes once the whole stream
// is in, and reports how long the bytes took from the connection on.
int runSink(quint16 port, qint64 expected)
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

int runConsole(quint16 port, const QString &image)
{
    ImageDispatch dispatch([](const QString &) {}, [] { return false; });
    dispatch.setListenAddress(QHostAddress::LocalHost);
    QTcpSocket *socket = nullptr;
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<QTcpServer> listener(
        dispatch.createServerAndWaitConnection(port, socket, TransferLimits::ListenSec));
    const bool ok = listener && dispatch.sendImage(*socket, image) &&
                    dispatch.waitClientDisconnected(socket, TransferLimits::DisconnectSec);
    printMeasure(ok, timer.nsecsElapsed() / 1e9);
    return 0;
}

int runBaseline(quint16 port, const QString &image)
{
    QElapsedTimer timer;
    timer.start();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
        ::listen(listener, 1) != 0)
        return 1;
    const int fd = ::accept(listener, nullptr, nullptr);
    const int in = ::open(QFile::encodeName(image).constData(), O_RDONLY);
    std::vector<char> buffer(ChunkBytes);
    bool ok = fd >= 0 && in >= 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        for (ssize_t at = 0; ok && at < n;) {
            const ssize_t w = ::send(fd, buffer.data() + at, size_t(n - at), MSG_NOSIGNAL);
            ok = w > 0;
            at += w > 0 ? w : 0;
        }
    }
    ::close(in);
    ::close(fd);
    ::close(listener);
    printMeasure(ok, timer.nsecsElapsed() / 1e9);
    return 0;
}

int orchestrate(const Options &options)
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("dispatch.img"));
    for (qint64 bytes : options.sizes) {
        if (!writeImage(image, bytes))
            return 1;
        const QString expected = QString::number(streamBytes(bytes));
        QVector<Measure> console, baseline;
        // Round -1 warms the page cache and the allocator up and is not counted.
        for (int round = -1; round < options.rounds; ++round) {
            // Alternate who goes first, so neither always meets the memory the other freed.
            for (int turn = 0; turn < 2; ++turn) {
                const bool consoleTurn = (turn == 0) == (round % 2 != 0);
                const QString port = QString::number(freePort());
                QProcess *sender =
                    startSelf({consoleTurn ? QStringLiteral("console") : QStringLiteral("baseline"),
                               port, image});
                const Measure atMachine =
                    parseMeasure(finish(startSelf({QStringLiteral("sink"), port, expected})));
                const Measure atSender = parseMeasure(finish(sender));
                if (round < 0)
                    continue;
                Measure m = atMachine;
                m.ok = atMachine.ok && atSender.ok;
                m.cpu = atSender.cpu;
                m.peakKb = atSender.peakKb;
                (consoleTurn ? console : baseline) << m;
            }
        }
        QFile::remove(image);
        report("dispatch", streamBytes(bytes), console, baseline);
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("sink"))
        return runSink(quint16(args.value(2).toUInt()), args.value(3).toLongLong());
    if (mode == QLatin1String("console"))
        return runConsole(quint16(args.value(2).toUInt()), args.value(3));
    if (mode == QLatin1String("baseline"))
        return runBaseline(quint16(args.value(2).toUInt()), args.value(3));
    return orchestrate(Options::parse(args));
}
