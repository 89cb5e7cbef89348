// Image load throughput and memory: a machine process sends an image of one run on loopback as
// fast as it can; the console's ImageLoad stores it into a file, with its SHA-256 sidecar and
// without, and, interleaved in the same run, a plain C socket-to-file receiver takes the same
// stream (the baseline).
//
//   bench_load [--sizes-mib 256,2048] [--rounds 5]

#include "benchpeers.h"

#include "image/imagefile.h"
#include "image/sidecar.h"
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

int runConsole(quint16 port, qint64 dataBytes, const QString &target, bool sidecar)
{
    ImageLoad::Request request;
    request.address = QStringLiteral("127.0.0.1");
    request.port = port;
    request.deviceName = QStringLiteral("SATA1");
    request.targetPath = target;
    request.sidecar = sidecar;
    ImageLoad load(
        request, [](const QString &) {}, [] { return false; });
    QElapsedTimer timer;
    timer.start();
    const ImageLoad::Result result = load.run([](const QString &) {}, ConnectLimitMs);
    const double seconds = timer.nsecsElapsed() / 1e9;
    printMeasure(result == ImageLoad::Result::Succeeded &&
                     QFileInfo(target).size() == streamBytes(dataBytes) &&
                     QFileInfo::exists(Sidecar::pathFor(target)) == sidecar,
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
        const QStringList modes{QStringLiteral("console"), QStringLiteral("console-plain"),
                                QStringLiteral("baseline")};
        QVector<Measure> measures[3];
        // Round -1 warms the page cache and the allocator up and is not counted.
        for (int round = -1; round < options.rounds; ++round) {
            // Rotate who goes first, so none always meets the memory another freed.
            for (int turn = 0; turn < modes.size(); ++turn) {
                const int side = (turn + round + 1) % modes.size();
                const Measure m = parseMeasure(
                    finish(startSelf({modes[side], port, QString::number(bytes), target})));
                if (round >= 0)
                    measures[side] << m;
                QFile::remove(target);
                QFile::remove(Sidecar::pathFor(target));
            }
        }
        peer->kill();
        finish(peer);
        report("load with sidecar", streamBytes(bytes), measures[0], measures[2]);
        report("load without sidecar", streamBytes(bytes), measures[1], measures[2]);
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
    if (mode == QLatin1String("console") || mode == QLatin1String("console-plain"))
        return runConsole(quint16(args.value(2).toUInt()), args.value(3).toLongLong(),
                          args.value(4), mode == QLatin1String("console"));
    if (mode == QLatin1String("baseline"))
        return runBaseline(quint16(args.value(2).toUInt()), args.value(3).toLongLong(),
                           args.value(4));
    return orchestrate(Options::parse(args));
}
