// Status line intake: 50 machines of 8 ports each stream progress lines as fast as the console
// takes them. The machines run in a second process (this program again, with --peers), so the
// CPU time measured is the console's alone. A plain socket line counter in the same run is the
// baseline; then the idle console with every machine connected.
//
//   bench_intake [lines per machine]

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardItemModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "app/para.h"
#include "benchconsole.h"
#include "benchkit.h"
#include "client/client.h"
#include "server/server.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {
constexpr int Machines = 50;
constexpr int PortsPerMachine = 8;
constexpr int DefaultLinesPerMachine = 40000;
constexpr quint64 RunTotal = 1000000000;
constexpr quint64 PercentStep = RunTotal / 100;
constexpr int HeaderLines = 3 + PortsPerMachine; // &M, &S, &I, one identification per port
constexpr qint64 PeerQueueBytes = 256 * 1024;
constexpr int IdleSeconds = 5;
constexpr int WaitLimitMs = 300000;
const char *const PeersFlag = "--peers";

QByteArray accessName(int port)
{
    return "/dev/sd" + QByteArray(1, char('a' + port));
}

// Runs the event loop until the condition holds; false after the time limit.
bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (!condition()) {
        if (timer.elapsed() > WaitLimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// ---- the machines -------------------------------------------------------------------------

// One simulated machine: identifies itself and its devices at once, then on "O" streams its
// progress lines, the percentage changing with every line, and ends with a file-list line.
class Peer : public QObject
{
public:
    Peer(int index, quint16 port, int lines, QObject *parent)
        : QObject(parent), index(index), linesLeft(lines)
    {
        for (int step = 0; step < 100; ++step) {
            for (int p = 0; p < PortsPerMachine; ++p)
                block += "@" + accessName(p) + " C 0 " +
                         QByteArray::number(step * PercentStep + p) + "\n";
        }
        connect(&socket, &QTcpSocket::connected, this, &Peer::identify);
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            if (socket.readAll().contains("O\n") && !streaming) {
                streaming = true;
                feed();
            }
        });
        connect(&socket, &QTcpSocket::bytesWritten, this, &Peer::feed);
        connect(&socket, &QTcpSocket::disconnected, this, [] { QCoreApplication::quit(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

private:
    void identify()
    {
        QByteArray head = "&M B" + QByteArray::number(index) + "|K31|Lynx|1.0|" +
                          QByteArray::number(PortsPerMachine) + "|";
        for (int p = 0; p < PortsPerMachine; ++p)
            head += "P" + QByteArray::number(p + 1) + ":|";
        head += "end\n&S COPY\n&I " + QByteArray::number(RunTotal) + "\n";
        for (int p = 0; p < PortsPerMachine; ++p)
            head += "@" + accessName(p) + " A P" + QByteArray::number(p + 1) + " ," +
                    QByteArray::number(RunTotal) + ",Model,Vendor\n";
        socket.write(head);
    }

    void feed()
    {
        const int blockLines = 100 * PortsPerMachine;
        while (streaming && linesLeft > 0 && socket.bytesToWrite() < PeerQueueBytes) {
            if (linesLeft >= blockLines) {
                socket.write(block);
                linesLeft -= blockLines;
            } else {
                int end = 0;
                for (int i = 0; i < linesLeft; ++i)
                    end = block.indexOf('\n', end) + 1;
                socket.write(block.left(end));
                linesLeft = 0;
            }
            if (linesLeft == 0)
                socket.write("&R done\n");
        }
    }

    QTcpSocket socket;
    QByteArray block;
    int index;
    int linesLeft;
    bool streaming = false;
};

int runPeers(quint16 port, int lines)
{
    for (int i = 0; i < Machines; ++i)
        new Peer(i, port, lines, qApp);
    return QCoreApplication::exec();
}

// ---- the console side ---------------------------------------------------------------------

struct Figures
{
    double seconds = 0;
    double cpu = 0;
    qint64 lines = 0;
};

class PeerProcess
{
public:
    PeerProcess(quint16 port, int lines)
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {PeersFlag, QString::number(port), QString::number(lines)});
        process.waitForStarted();
    }
    ~PeerProcess()
    {
        process.kill();
        process.waitForFinished();
    }

private:
    QProcess process;
};

// The baseline: reads every machine's bytes and counts line feeds, nothing else.
Figures runBaseline(int lines)
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    QList<QTcpSocket *> sockets;
    qint64 counted = 0;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = listener.nextPendingConnection();
        socket->setReadBufferSize(256 * 1024);
        sockets << socket;
        QObject::connect(socket, &QTcpSocket::readyRead,
                         [socket, &counted] { counted += readCountingLines(socket); });
    });
    PeerProcess peers(listener.serverPort(), lines);
    const qint64 header = qint64(Machines) * HeaderLines;
    const qint64 total = header + qint64(Machines) * (lines + 1);
    if (!waitFor([&] { return counted >= header; }))
        qFatal("baseline: the machines did not identify themselves");

    Figures figures;
    QElapsedTimer timer;
    const double cpuBefore = benchkit::cpuSeconds();
    timer.start();
    for (QTcpSocket *socket : sockets)
        socket->write("O\n");
    if (!waitFor([&] { return counted >= total; }))
        qFatal("baseline: lines missing");
    figures.seconds = timer.nsecsElapsed() / 1e9;
    figures.cpu = benchkit::cpuSeconds() - cpuBefore;
    figures.lines = total - header;
    for (QTcpSocket *socket : sockets)
        socket->abort();
    return figures;
}

// Every machine has named itself and identified all its devices.
bool allIdentified(const QStandardItemModel &model)
{
    if (model.rowCount() != Machines)
        return false;
    for (int row = 0; row < Machines; ++row) {
        QStandardItem *machine = model.item(row);
        if (machine->rowCount() != PortsPerMachine ||
            machine->child(PortsPerMachine - 1, Client::IndexAccessName)->text().isEmpty())
            return false;
    }
    return true;
}

struct ConsoleFigures
{
    Figures run;
    double idleCpuPercent = 0;
};

ConsoleFigures runConsole(int lines)
{
    BenchConsole console;
    int finished = 0;
    QObject::connect(console.server.get(), &Server::reflashFiles, [&finished] { ++finished; });
    PeerProcess peers(console.commandPort, lines);
    if (!waitFor([&] { return allIdentified(console.model); }))
        qFatal("console: the machines did not identify themselves");

    ConsoleFigures figures;
    QElapsedTimer timer;
    const double cpuBefore = benchkit::cpuSeconds();
    timer.start();
    QString copy = "O\n";
    console.server->write(copy);
    if (!waitFor([&] { return finished >= Machines; }))
        qFatal("console: lines missing");
    figures.run.seconds = timer.nsecsElapsed() / 1e9;
    figures.run.cpu = benchkit::cpuSeconds() - cpuBefore;
    figures.run.lines = qint64(Machines) * lines;

    // Idle: every machine connected, nothing sent.
    QCoreApplication::processEvents();
    const double idleBefore = benchkit::cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(IdleSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    figures.idleCpuPercent =
        100.0 * (benchkit::cpuSeconds() - idleBefore) / (idle.nsecsElapsed() / 1e9);
    if (console.server->clients().size() != Machines)
        qFatal("console: machines lost while idle");
    console.server->abortClientsConnection();
    return figures;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 4 && std::strcmp(argv[1], PeersFlag) == 0) {
        QCoreApplication app(argc, argv);
        return runPeers(QString(argv[2]).toUShort(), QString(argv[3]).toInt());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString(argv[1]).toInt() : DefaultLinesPerMachine;
    para.translate = 0;
    para.savelog = false;
    // The machines leave mid-run at the end: their run records go to a folder of their own.
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    const Figures baseline = runBaseline(lines);
    const ConsoleFigures console = runConsole(lines);

    const double baseRate = baseline.lines / baseline.seconds;
    const double rate = console.run.lines / console.run.seconds;
    std::printf("status lines: %d machines x %d ports, %lld lines each run\n", Machines,
                PortsPerMachine, static_cast<long long>(console.run.lines));
    std::printf("baseline line counter: %10.0f lines/s  %6.2f s  console CPU %5.2f s\n", baseRate,
                baseline.seconds, baseline.cpu);
    std::printf("console intake:        %10.0f lines/s  %6.2f s  console CPU %5.2f s "
                "(%.0f lines per CPU second)\n",
                rate, console.run.seconds, console.run.cpu, console.run.lines / console.run.cpu);
    std::printf("console / baseline:    %10.3f\n", rate / baseRate);
    std::printf("idle console, %d machines connected: %.2f %% of a core over %d s\n", Machines,
                console.idleCpuPercent, IdleSeconds);
    std::printf("console max RSS: %lld KiB\n", static_cast<long long>(benchkit::peakRssKb()));
    return 0;
}
