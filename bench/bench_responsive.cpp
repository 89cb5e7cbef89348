// How live the window stays while transfers run at full speed on its thread: a 10 ms timer ticks
// on the GUI thread while the console's ImageDispatch sends an image to a machine process on
// loopback and then its ImageLoad takes one from a machine process, with a progress bar updated
// as the main window does; the longest gap between two ticks is the longest the window froze.
// Then each kind once more with a Stop pressed in its data: the time from the press (when the
// click was due, so the wait for the event loop counts) to the end of the transfer. As a control,
// the longest gap of the idle event loop over IdleMs: what the host's other load costs alone.
//
//   bench_responsive [--sizes-mib 2048] [--rounds 3]

#include "benchpeers.h"

#include "transfer/imagedispatch.h"
#include "transfer/imageload.h"
#include "transfer/transferlimits.h"
#include "ui/transferprogress.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace benchkit;

namespace {
constexpr int TickMs = 10;
constexpr int StopAfterMs = 300; // into the data
constexpr int ConnectLimitMs = 60000;
constexpr int Rounds = 3;
constexpr int IdleMs = 2000;
constexpr double GapTargetMs = 50;
constexpr double StopTargetMs = 100;

// The longest time between two ticks of a 10 ms timer on this thread, the end included.
class TickWatch
{
public:
    TickWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(TickMs);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
        clock.start();
        timer.start();
    }
    double longestMs()
    {
        tick();
        return longest / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        longest = qMax(longest, now - last);
        last = now;
    }

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

// The operator's Stop, StopAfterMs after arm(): it reaches the transfer through the event loop,
// as a click does.
class StopPress
{
public:
    void arm()
    {
        clock.start();
        QTimer::singleShot(StopAfterMs, Qt::PreciseTimer, &context, [this] { pressed = true; });
    }
    bool isPressed() const { return pressed; }
    // From when the press was due; NAN when the transfer ended before it.
    double sinceDueMs() const
    {
        const double ms = clock.nsecsElapsed() / 1e6 - StopAfterMs;
        return pressed ? ms : NAN;
    }

private:
    QObject context;
    QElapsedTimer clock;
    bool pressed = false;
};

struct Figures
{
    double gapMs = 0;
    double stopMs = NAN; // runs with a Stop only
    bool ok = false;     // ended as it should: done, or stopped
};

// As the main window's status bar shows a transfer.
void showProgress(QProgressBar &bar, qint64 done, qint64 total)
{
    bar.setValue(transferProgressStep(done, total));
    bar.setFormat(transferProgressText(done, total, done, 1000));
}

Figures dispatchOnce(const QString &image, qint64 dataBytes, QProgressBar &bar, bool pressStop)
{
    const quint16 port = freePort();
    QProcess *sink = startSelf(
        {QStringLiteral("sink"), QString::number(port), QString::number(streamBytes(dataBytes))});
    StopPress stop;
    ImageDispatch dispatch([](const QString &) {}, [&stop] { return stop.isPressed(); });
    dispatch.setListenAddress(QHostAddress::LocalHost);
    dispatch.setProgress([&bar](qint64 done, qint64 total) { showProgress(bar, done, total); });
    TickWatch watch;
    QTcpSocket *socket = nullptr;
    std::unique_ptr<QTcpServer> listener(
        dispatch.createServerAndWaitConnection(port, socket, TransferLimits::ListenSec));
    if (pressStop)
        stop.arm();
    const bool sent = listener && dispatch.sendImage(*socket, image) &&
                      dispatch.waitClientDisconnected(socket, TransferLimits::DisconnectSec);
    listener.reset();
    Figures figures;
    figures.stopMs = stop.sinceDueMs();
    figures.gapMs = watch.longestMs();
    figures.ok = pressStop ? !sent && stop.isPressed() : sent;
    finish(sink);
    return figures;
}

Figures loadOnce(quint16 peerPort, const QString &target, QProgressBar &bar, bool pressStop)
{
    ImageLoad::Request request;
    request.address = QStringLiteral("127.0.0.1");
    request.port = peerPort;
    request.deviceName = QStringLiteral("SATA1");
    request.targetPath = target;
    StopPress stop;
    ImageLoad load(
        request, [](const QString &) {}, [&stop] { return stop.isPressed(); });
    load.setProgress([&bar](qint64 done, qint64 total) { showProgress(bar, done, total); });
    TickWatch watch;
    if (pressStop)
        stop.arm();
    const ImageLoad::Result result = load.run([](const QString &) {}, ConnectLimitMs);
    Figures figures;
    figures.stopMs = stop.sinceDueMs();
    figures.gapMs = watch.longestMs();
    figures.ok = result == (pressStop ? ImageLoad::Result::Stopped : ImageLoad::Result::Succeeded);
    QFile::remove(target);
    return figures;
}

double idleOnce()
{
    TickWatch watch;
    QEventLoop loop;
    QTimer::singleShot(IdleMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return watch.longestMs();
}

void summarise(const char *what, const QVector<double> &values, double target)
{
    double most = 0;
    for (double v : values)
        most = qMax(most, std::isnan(v) ? INFINITY : v);
    std::printf("  %s: median %.1f ms, max %.1f ms (target <= %.0f ms)%s\n", what, median(values),
                most, target, most <= target ? "" : "  ** OVER TARGET **");
}

int orchestrate(const Options &options)
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("dispatch.img"));
    const QString target = dir.filePath(QStringLiteral("load.img"));
    QWidget window;
    auto *bar = new QProgressBar(&window);
    bar->setRange(0, TransferProgressSteps);
    window.show();

    for (qint64 bytes : options.sizes) {
        if (!writeImage(image, bytes))
            return 1;
        QProcess *peer = startSelf({QStringLiteral("peer"), QString::number(bytes)});
        peer->waitForReadyRead();
        const quint16 peerPort = quint16(peer->readLine().trimmed().mid(5).toUInt());
        std::printf("responsiveness, %lld MiB, %d runs\n", static_cast<long long>(bytes / MiB),
                    options.rounds);
        QVector<double> idleGaps, dispatchGaps, loadGaps, dispatchStops, loadStops;
        bool ok = true;
        for (int round = 0; round < options.rounds; ++round) {
            idleGaps << idleOnce();
            const Figures dispatch = dispatchOnce(image, bytes, *bar, false);
            const Figures load = loadOnce(peerPort, target, *bar, false);
            const Figures dispatchStop = dispatchOnce(image, bytes, *bar, true);
            const Figures loadStop = loadOnce(peerPort, target, *bar, true);
            ok = ok && dispatch.ok && load.ok && dispatchStop.ok && loadStop.ok;
            dispatchGaps << dispatch.gapMs;
            loadGaps << load.gapMs;
            dispatchStops << dispatchStop.stopMs;
            loadStops << loadStop.stopMs;
            std::printf("  run %d: longest gap: idle %.1f ms, dispatch %.1f ms, load %.1f ms; "
                        "Stop to end: dispatch %.1f ms, load %.1f ms\n",
                        round + 1, idleGaps.last(), dispatch.gapMs, load.gapMs, dispatchStop.stopMs,
                        loadStop.stopMs);
            std::fflush(stdout);
        }
        peer->kill();
        finish(peer);
        QFile::remove(image);
        if (!ok)
            std::printf("  ** A RUN FAILED **\n");
        summarise("longest gap, idle (control)", idleGaps, GapTargetMs);
        summarise("longest gap, dispatch", dispatchGaps, GapTargetMs);
        summarise("longest gap, load", loadGaps, GapTargetMs);
        summarise("Stop to end, dispatch", dispatchStops, StopTargetMs);
        summarise("Stop to end, load", loadStops, StopTargetMs);
        std::fflush(stdout);
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("sink") || mode == QLatin1String("peer")) {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        return mode == QLatin1String("sink")
                   ? runSink(quint16(args.value(2).toUInt()), args.value(3).toLongLong())
                   : runPeer(args.value(2).toLongLong());
    }
    // A window, as the console has one; headless unless a platform is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options = Options::parse(app.arguments());
    if (!app.arguments().contains(QStringLiteral("--sizes-mib")))
        options.sizes = {2048 * MiB};
    if (!app.arguments().contains(QStringLiteral("--rounds")))
        options.rounds = Rounds;
    return orchestrate(options);
}
