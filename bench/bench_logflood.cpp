// Machine log floods. One machine in a run sends log lines without end: at full speed for a while,
// then at a steady rate. The console (its window offscreen, showing the machine's log page) must
// keep its memory bounded, keep its event loop turning, write a run log holding every line, and
// give its memory back when the machine leaves. The machine is this program again in a child
// process (--peer); a plain socket line counter reading the same flood is the baseline.
//
//   bench_logflood [full-speed seconds = 60] [steady seconds = 600] [steady lines/s = 1000]
//                  [lines: plain | returns | long | settings | termination]
//
// Hostile lines: 100,000 carriage returns each, 1,000,000 characters each, an endless settings
// block, termination requests (each a line of the global log too). Their run logs are not
// checked line by line.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

#include "app/para.h"
#include "benchconsole.h"
#include "benchkit.h"
#include "client/client.h"
#include "client/framedevice.h"
#include "client/logpage.h"
#include "server/server.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
const char *const PeerFlag = "--peer";
constexpr qint64 PeerQueueBytes = 1024 * 1024;
constexpr qint64 BlockBytes = 256 * 1024;
constexpr int RateTickMs = 10;
constexpr int LatencyTickMs = 10;
constexpr int SampleMs = 500;
constexpr int BaselineSeconds = 10;
constexpr int SettleMs = 2000;
constexpr int WaitLimitMs = 20 * 60 * 1000;
constexpr qint64 KiB = 1024;
constexpr int LogTab = 2;
const char *const Plain = "plain";

QByteArray floodLine(qint64 index, const QByteArray &kind)
{
    if (kind == "returns")
        return "#" + QByteArray(100000, '\r') + "x\n";
    if (kind == "long")
        return "#" + QByteArray(1000000, 'y') + "\n";
    if (kind == "settings")
        return "key" + QByteArray::number(index) + "=value\n";
    if (kind == "termination")
        return "&T flood " + QByteArray::number(index) + "\n";
    return "#flood " + QByteArray::number(index) + " the quick brown fox jumps over the lazy dog\n";
}

// Runs an event loop, as the console's main loop runs (deferred deletes included), until the
// condition holds; false after the time limit.
bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (condition() || timer.elapsed() > WaitLimitMs)
            loop.quit();
    });
    tick.start(20);
    loop.exec();
    return condition();
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---- the machine --------------------------------------------------------------------------

// Names itself, starts a run and sends log lines until its time is up (as fast as the console
// reads them, or at the given rate); then ends the run and, when told "q", leaves.
class Flood : public QObject
{
public:
    Flood(quint16 port, int seconds, int rate, const QByteArray &kind)
        : limitMs(qint64(seconds) * 1000), rate(rate), kind(kind)
    {
        connect(&socket, &QTcpSocket::connected, this, [this] {
            socket.write("&M F1|K31|Lynx|1.0|2|P1:|P2:|end\n&S FLOOD\n");
            if (this->kind == "settings")
                socket.write("&N\n");
            clock.start();
            if (this->rate == 0) {
                connect(&socket, &QTcpSocket::bytesWritten, this, &Flood::pumpFull);
                pumpFull();
            } else {
                connect(&tick, &QTimer::timeout, this, &Flood::pumpRate);
                tick.start(RateTickMs);
            }
        });
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            if (socket.readAll().contains("q\n"))
                socket.disconnectFromHost();
        });
        connect(&socket, &QTcpSocket::disconnected, qApp, &QCoreApplication::quit);
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

private:
    // Lines up to the given count, or while the block is below the given size.
    void send(qint64 until, qint64 bytes = 0)
    {
        QByteArray block;
        while (sent < until || block.size() < bytes) {
            block += floodLine(sent++, kind);
            if (block.size() >= BlockBytes) {
                socket.write(block);
                block.clear();
                bytes = 0;
            }
        }
        socket.write(block);
    }

    void pumpFull()
    {
        while (!ended && socket.bytesToWrite() < PeerQueueBytes) {
            if (clock.elapsed() >= limitMs)
                return end();
            send(0, BlockBytes);
        }
    }

    void pumpRate()
    {
        if (ended)
            return;
        const qint64 elapsed = qMin(clock.elapsed(), limitMs);
        send(elapsed * rate / 1000);
        if (elapsed >= limitMs)
            end();
    }

    void end()
    {
        ended = true;
        tick.stop();
        if (kind == "settings")
            socket.write("Settings End\n");
        socket.write("&F done\n&R done\n");
        std::printf("SENT %lld\n", static_cast<long long>(sent));
        std::fflush(stdout);
    }

    QTcpSocket socket;
    QTimer tick;
    QElapsedTimer clock;
    qint64 limitMs;
    int rate;
    QByteArray kind;
    qint64 sent = 0;
    bool ended = false;
};

// ---- the console --------------------------------------------------------------------------

class PeerProcess
{
public:
    PeerProcess(quint16 port, int seconds, int rate, const QString &kind)
    {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {PeerFlag, QString::number(port), QString::number(seconds),
                       QString::number(rate), kind});
        process.waitForStarted();
    }
    ~PeerProcess()
    {
        process.kill();
        process.waitForFinished();
    }
    qint64 sent()
    {
        process.waitForFinished(WaitLimitMs);
        const QByteArray out = process.readAllStandardOutput();
        const int at = out.indexOf("SENT ");
        return at < 0 ? -1 : out.mid(at + 5).trimmed().toLongLong();
    }

private:
    QProcess process;
};

// The longest the event loop went without running a 10 ms timer, and how often that took over
// 100 ms.
class Latency
{
public:
    Latency()
    {
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 gap = clock.restart();
            worst = qMax(worst, gap);
            slow += gap > 100 ? 1 : 0;
        });
        clock.start();
        tick.start(LatencyTickMs);
    }
    qint64 worst = 0;
    int slow = 0;

private:
    QTimer tick;
    QElapsedTimer clock;
};

QStringList leftoverSpools()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("tarn-runlog-*")}, QDir::Files);
}

// Every flood line in order, after the run's start line: how many, or -1 at the first mismatch.
qint64 verifiedLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.readLine() != "Start FLOOD\n" ||
        file.readLine() != "\n")
        return -1;
    qint64 index = 0;
    QByteArray expected = floodLine(0, Plain);
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (file.atEnd() && !line.endsWith('\n'))
            line += '\n';
        if (line != expected)
            return -1;
        expected = floodLine(++index, Plain);
    }
    return index;
}

void runFlood(const char *title, int seconds, int rate, bool showLog, const QString &kind)
{
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const QStringList spoolsBefore = leftoverSpools();
    const qint64 rssStart = benchkit::statusKb("VmRSS");
    auto console = std::make_unique<BenchConsole>();
    int lists = 0;
    QObject::connect(console->server.get(), &Server::reflashFiles, [&lists] { ++lists; });
    PeerProcess peer(console->commandPort, seconds, rate, kind);
    if (!waitFor([&] {
            return console->server->clients().size() == 1 &&
                   console->server->clients().first()->getName() == "F1";
        }))
        qFatal("the machine did not name itself");
    Client *client = console->server->clients().first();
    if (showLog) {
        console->tabs->setCurrentWidget(client->tabPage());
        client->frame()->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(LogTab);
    }
    spin(200);
    const qint64 rssConnected = benchkit::statusKb("VmRSS");

    Latency latency;
    qint64 rssPeak = rssConnected;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&rssPeak] { rssPeak = qMax(rssPeak, benchkit::statusKb("VmRSS")); });
    sampler.start(SampleMs);
    QElapsedTimer clock;
    clock.start();
    if (!waitFor([&] { return lists > 0; }))
        qFatal("the run did not end");
    const double runSeconds = clock.nsecsElapsed() / 1e9;
    sampler.stop();
    spin(200);
    rssPeak = qMax(rssPeak, benchkit::statusKb("VmRSS"));
    const int tabLines = client->frame()->getLogBrowser()->document()->blockCount();
    const QString tabFirst = client->frame()->getLogBrowser()->document()->firstBlock().text();

    const QStringList spoolsAfterRun = leftoverSpools();
    QString writeQuit = "q\n";
    console->server->write(writeQuit);
    if (!waitFor([&] { return console->server->isClientEmpty(); }))
        qFatal("the machine did not leave");
    const qint64 sent = peer.sent();
    spin(SettleMs);
    const qint64 rssLeft = benchkit::statusKb("VmRSS");
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    const qint64 rssTrimmed = benchkit::statusKb("VmRSS");

    const QStringList logs = QDir(work.path()).entryList({"*.txt"}, QDir::Files);
    const bool plain = kind == Plain;
    const qint64 verified =
        logs.size() == 1 && plain ? verifiedLines(work.filePath(logs.first())) : -1;
    const QFileInfo logInfo(work.filePath(logs.value(0)));
    const qint64 logBytes = logs.size() == 1 ? logInfo.size() : 0;
    const bool othersRead = logInfo.permissions() & QFileDevice::ReadOther;

    std::printf("\n%s, %s lines: %d s\n", title, qPrintable(kind), seconds);
    std::printf("  lines sent %lld, %.0f lines/s over %.1f s\n", static_cast<long long>(sent),
                sent / runSeconds, runSeconds);
    const QString checked = !plain ? QStringLiteral("lines not checked")
                            : verified == sent
                                ? QStringLiteral("complete, every line in order")
                                : QStringLiteral("INCOMPLETE: %1 lines in order").arg(verified);
    std::printf("  run log: %s, %.1f MiB, %s by others\n", qPrintable(checked),
                logBytes / double(KiB * KiB), othersRead ? "readable" : "NOT readable");
    std::printf("  log tab: %d lines, first: \"%s\"\n", tabLines, qPrintable(tabFirst));
    std::printf("  event loop: longest stall %lld ms, %d stalls over 100 ms\n",
                static_cast<long long>(latency.worst), latency.slow);
    std::printf("  RSS KiB: start %lld, connected %lld, peak %lld (growth %lld), after leaving "
                "%lld, after malloc_trim %lld\n",
                static_cast<long long>(rssStart), static_cast<long long>(rssConnected),
                static_cast<long long>(rssPeak), static_cast<long long>(rssPeak - rssConnected),
                static_cast<long long>(rssLeft), static_cast<long long>(rssTrimmed));
    std::printf("  temporary run logs: %d after the run, %d after leaving (%d before)\n",
                int(spoolsAfterRun.size() - spoolsBefore.size()),
                int(leftoverSpools().size() - spoolsBefore.size()), int(spoolsBefore.size()));
    std::fflush(stdout);
    QDir::setCurrent(QDir::tempPath());
}

// The plain line counter on the same full-speed flood.
void runBaseline(int seconds)
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    qint64 counted = 0;
    bool done = false;
    QTcpSocket *socket = nullptr;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        socket = listener.nextPendingConnection();
        socket->setReadBufferSize(256 * KiB);
        QObject::connect(socket, &QTcpSocket::readyRead, [&] {
            counted += readCountingLines(socket, [&done](const QByteArray &chunk) {
                done = done || chunk.contains("&R done\n");
            });
        });
    });
    PeerProcess peer(listener.serverPort(), seconds, 0, Plain);
    QElapsedTimer clock;
    clock.start();
    if (!waitFor([&] { return done; }))
        qFatal("baseline: the flood did not end");
    const double elapsed = clock.nsecsElapsed() / 1e9;
    socket->write("q\n");
    socket->flush();
    const qint64 sent = peer.sent();
    std::printf(
        "\nbaseline line counter: %.0f lines/s over %.1f s (%lld lines sent, %lld counted)\n",
        counted / elapsed, elapsed, static_cast<long long>(sent), static_cast<long long>(counted));
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 6 && std::strcmp(argv[1], PeerFlag) == 0) {
        QCoreApplication app(argc, argv);
        Flood flood(QString(argv[2]).toUShort(), QString(argv[3]).toInt(), QString(argv[4]).toInt(),
                    argv[5]);
        return QCoreApplication::exec();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int fullSeconds = argc > 1 ? QString(argv[1]).toInt() : 60;
    const int steadySeconds = argc > 2 ? QString(argv[2]).toInt() : 600;
    const int steadyRate = argc > 3 ? QString(argv[3]).toInt() : 1000;
    const QString kind = argc > 4 ? QString(argv[4]) : QString(Plain);
    para.translate = 0;
    para.savelog = true;

    std::printf("log tab limits: %d lines, %d characters\n", LogPage::MachineLimits.lines,
                LogPage::MachineLimits.characters);
    runBaseline(BaselineSeconds);
    if (fullSeconds > 0) {
        runFlood("full-speed flood, the machine's log page shown", fullSeconds, 0, true, kind);
        runFlood("full-speed flood, the summary shown", fullSeconds, 0, false, kind);
    }
    if (steadySeconds > 0)
        runFlood(
            qPrintable(QStringLiteral("%1 lines/s, the machine's log page shown").arg(steadyRate)),
            steadySeconds, steadyRate, true, kind);
    return 0;
}
