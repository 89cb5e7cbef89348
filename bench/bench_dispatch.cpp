// Image dispatch throughput and memory: the console's ImageDispatch sends an image file of one run
// to a machine process on loopback that reads as fast as it can, and, interleaved in the same
// run, a plain C file-to-socket sender sends the same file with read and send (the baseline), and
// a plain C sendfile(2) sender as a reference for what zero copy gives on this host. Rates are
// taken at the receiving machine, CPU and memory at the sender.
//
//   bench_dispatch [--sizes-mib 256,2048] [--rounds 5]

#include "benchpeers.h"

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
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace benchkit;

namespace {
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

// The plain C senders: read and send through a buffer, or sendfile from the page cache.
enum class PlainSender
{
    ReadSend,
    SendFile
};

bool sendFileWhole(int fd, int in)
{
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::sendfile(fd, in, &offset, ChunkBytes);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
    }
}

bool readSendWhole(int fd, int in)
{
    std::vector<char> buffer(ChunkBytes);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
        for (ssize_t at = 0; at < n;) {
            const ssize_t w = ::send(fd, buffer.data() + at, size_t(n - at), MSG_NOSIGNAL);
            if (w <= 0)
                return false;
            at += w;
        }
    }
}

int runPlain(PlainSender how, quint16 port, const QString &image)
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
    ::signal(SIGPIPE, SIG_IGN);
    const int fd = ::accept(listener, nullptr, nullptr);
    const int in = ::open(QFile::encodeName(image).constData(), O_RDONLY);
    const bool ok = fd >= 0 && in >= 0 &&
                    (how == PlainSender::SendFile ? sendFileWhole(fd, in) : readSendWhole(fd, in));
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
    const QStringList senders{QStringLiteral("console"), QStringLiteral("baseline"),
                              QStringLiteral("sendfile")};
    for (qint64 bytes : options.sizes) {
        if (!writeImage(image, bytes))
            return 1;
        const QString expected = QString::number(streamBytes(bytes));
        QVector<Measure> measures[3];
        // Round -1 warms the page cache and the allocator up and is not counted.
        for (int round = -1; round < options.rounds; ++round) {
            // Rotate who goes first, so none always meets the memory another freed.
            for (int turn = 0; turn < senders.size(); ++turn) {
                const int who = (turn + round + 1) % senders.size();
                const QString port = QString::number(freePort());
                QProcess *sender = startSelf({senders.at(who), port, image});
                const Measure atMachine =
                    parseMeasure(finish(startSelf({QStringLiteral("sink"), port, expected})));
                const Measure atSender = parseMeasure(finish(sender));
                if (round < 0)
                    continue;
                Measure m = atMachine;
                m.ok = atMachine.ok && atSender.ok;
                m.cpu = atSender.cpu;
                m.peakKb = atSender.peakKb;
                measures[who] << m;
            }
        }
        QFile::remove(image);
        report("dispatch", streamBytes(bytes), measures[0], measures[1], "C sendfile", measures[2]);
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
    if (mode == QLatin1String("baseline") || mode == QLatin1String("sendfile"))
        return runPlain(mode == QLatin1String("sendfile") ? PlainSender::SendFile
                                                          : PlainSender::ReadSend,
                        quint16(args.value(2).toUInt()), args.value(3));
    return orchestrate(Options::parse(args));
}
