#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "client/wire/runlogname.h"
#include "image/imagefile.h"
#include "testkit/loopbackport.h"
#include "testkit/modalanswerer.h"
#include "testkit/processusage.h"
#include "testkit/scriptedpeer.h"
#include "testkit/simulatedmachines.h"
#include "testkit/testenv.h"
#include "testkit/windowprobe.h"
#include "transfer/transferlimits.h"
#include "ui/mainwindow.h"

#include <QProcess>
#include <QTcpServer>
#include <QTextBlock>

#include <algorithm>
#include <memory>
#include <utility>

// Chaos run: the console in this process, driven through its window, with simulated machines in
// processes of their own on loopback. At random moments machines are killed during runs, loads
// and dispatches and started again, transfer peers stall and strangers send garbage. Afterwards
// the console must be whole: alive, its descriptors and memory back where they were, every run
// logged, every load target complete or reported as failed, no temporary file left.
//
// Manual mode, the same scenario for longer or with a seed again (the seed is printed; the timing
// of the processes still differs from run to run):
//   TARN_CHAOS_SECONDS=600 TARN_CHAOS_SEED=12345 ./tst_chaos

namespace {

constexpr int MachineCount = 20;
constexpr qint64 CapacitySectors = 4 * 1024 * 1024 / SectorSize;
const char *const Actions[] = {"actionCopy",   "actionCompare", "actionVerify",       "actionErase",
                               "actionResize", "actionAbort",   "actionReflash_Files"};
const char *const LineStarts[] = {"@", "&M ", "&N", "&R ", "&T ", "&I ", "@/dev/sda A "};
constexpr int DefaultSeconds = TARN_SANITIZED ? 15 : 25; // the sanitizers are several times slower
constexpr int TickMs = 150;
constexpr int WaitMs = 60000;
// A machine played by this test, for transfers that stall.
const char *const Stall = "STALL";
const char *const StallAddress = "127.0.0.200";

int chaosSeconds()
{
    const int seconds = qEnvironmentVariableIntValue("TARN_CHAOS_SECONDS");
    return seconds > 0 ? seconds : DefaultSeconds;
}

} // namespace

class TestChaos : public QObject, WindowProbe
{
    Q_OBJECT

public:
    TestChaos()
    {
        // Qt Test ends a test function after five minutes unless told otherwise before it starts.
        if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
            qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((chaosSeconds() + 300) * 1000));
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void consoleSurvivesChaos();

private:
    int random(int bound) { return int(rng.bounded(bound)); }
    bool alive(int m) const { return process[m] && process[m]->state() != QProcess::NotRunning; }
    // Every machine with its source marked and all its ports listed, or every machine idle.
    bool all(bool connected) const
    {
        return std::all_of(std::begin(name), std::end(name), [&](const QString &m) {
            return connected ? cell(m, "SATA1", 0) == "*SATA1" && row(m, "SATA3").isValid()
                             : cell(m, QString(), Client::IndexStatus).isEmpty();
        });
    }
    void startMachine(int m);
    void killMachine(int m);
    void tick();
    void sendGarbage();
    QString trigger(const char *action, const QString &machine, const QString &port);
    void load(const QString &machine, const QString &port, bool full);
    void dispatch(const QString &machine, const QString &port);
    void stalledTransfer(bool isLoad);

    QRandomGenerator rng;
    ModalAnswerer answerer;
    QString name[MachineCount];
    std::unique_ptr<QProcess> process[MachineCount];
    QByteArray machineOutput;
    QTimer ticker;
    int victim = -1;
    QList<QPointer<ScriptedPeer>> strangers;
    QList<QPair<QString, QDateTime>> completions;
    int loads = 0;
    QStringList faults;
};

void TestChaos::initTestCase()
{
    const quint32 seed = qEnvironmentVariableIsSet("TARN_CHAOS_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TARN_CHAOS_SEED"))
                             : quint32(QDateTime::currentMSecsSinceEpoch());
    qInfo("chaos seed %u (TARN_CHAOS_SEED)", seed);
    rng.seed(seed);
    TransferLimits::setMsPerSecond(50); // transfer time limits 20 times shorter
    para.restore();
    para.savelog = true;
    para.tcpport = freePortPair();
    QVERIFY(para.tcpport != 0);
    QVERIFY(writeFileBytes("images/dispatch.img",
                           simulatedDeviceImage("C01-1", "SATA1", CapacitySectors, true)));
    window = new MainWindow();
    window->show();
    QVERIFY(log().contains("The server is running on IP"));
    answerer.closeStrays(TickMs);
    for (int m = 0; m < MachineCount; ++m)
        name[m] = QString("C%1-1").arg(m + 1, 2, 10, QLatin1Char('0'));
    // Run logs are named after the time they are saved, about when their line is laid out. The
    // log lays out a burst of lines at once, so one change may hold many of them.
    connect(logView()->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) {
                for (QTextBlock block = logView()->document()->findBlock(position);
                     block.isValid() && block.position() < position + added; block = block.next())
                    for (const QString &machine : name)
                        if (block.text().startsWith(machine + " complete "))
                            completions << qMakePair(machine, QDateTime::currentDateTime());
            });
    connect(server(), &Server::transferProgress, this, [this](qint64 done) {
        if (victim >= 0 && done > 0)
            killMachine(std::exchange(victim, -1));
    });
    ticker.setSingleShot(true);
    connect(&ticker, &QTimer::timeout, this, &TestChaos::tick);
}

void TestChaos::cleanupTestCase()
{
    for (int m = 0; m < MachineCount; ++m)
        killMachine(m);
    delete window;
}

void TestChaos::startMachine(int m)
{
    process[m].reset(new QProcess);
    QProcess *started = process[m].get();
    started->setProcessChannelMode(QProcess::MergedChannels);
    connect(started, &QProcess::readyRead, this, [=] { machineOutput += started->readAll(); });
    started->start(TARN_MACHINE_BIN,
                   simulatedMachineArguments(para.tcpport, 1, name[m].chopped(2),
                                             QString("127.0.0.%1").arg(m + 2), "4M", "stores") +
                       QStringList{"--run-time", "2", "--fail-rate", "0.2", "--seed",
                                   QString::number(rng.generate())});
}

void TestChaos::killMachine(int m)
{
    if (alive(m)) {
        process[m]->kill();
        process[m]->waitForFinished();
        machineOutput += process[m]->readAll();
    }
    process[m].reset();
}

// One random act of the room or of the operator, then the next at a random moment.
void TestChaos::tick()
{
    const int living = int(std::count_if(std::begin(process), std::end(process), [](const auto &p) {
        return p && p->state() != QProcess::NotRunning;
    }));
    const int m = random(MachineCount);
    const int act = random(8);
    if (act < 4 && !alive(m))
        startMachine(m);
    else if (act < 4 && living > 5)
        killMachine(m);
    else if (act == 4)
        sendGarbage();
    else if (act > 4 && !server()->isClientEmpty())
        action(Actions[random(7)])->trigger();
    ticker.start(TickMs + random(4 * TickMs));
}

// A stranger on a command connection: random bytes, hostile line starts and overlong lines.
void TestChaos::sendGarbage()
{
    auto *peer = new ScriptedPeer(this);
    strangers << peer;
    peer->socket()->bind(QHostAddress(QHostAddress("127.0.1.1").toIPv4Address() + random(250)));
    connect(peer->socket(), &QTcpSocket::connected, peer, [this, peer] {
        QByteArray junk;
        for (int line = random(200); line > 0; --line) {
            junk += random(2) ? LineStarts[random(7)] : "";
            for (int n = random(300); n > 0; --n)
                junk += char(rng.generate());
            junk += '\n';
        }
        if (random(3) == 0)
            junk += QByteArray(Client::MaxLineBytes + random(4096), 'x') + (random(2) ? "\n" : "");
        peer->send(junk);
        QTimer::singleShot(random(2000), peer, &QObject::deleteLater);
    });
    peer->socket()->connectToHost(QHostAddress::LocalHost, para.tcpport);
}

// Selects one port row alone and triggers the action; what the global log said meanwhile.
QString TestChaos::trigger(const char *action, const QString &machine, const QString &port)
{
    select(machine, port, true);
    const int from = log().size();
    this->action(action)->trigger();
    tree()->selectionModel()->clearSelection();
    return log().mid(from);
}

// Every load ends with its outcome in the global log, and a file reported complete is exact.
void TestChaos::load(const QString &machine, const QString &port, bool full)
{
    const QString path = QDir("images").absoluteFilePath(QString("%1.img").arg(++loads));
    answerer.chooseFile(path);
    const QString said = trigger(full ? "actionFullLoad" : "actionBriefLoad", machine, port);
    const bool complete = said.contains("load image has succeed");
    if (complete ? fileBytes(path) != simulatedDeviceImage(machine, port, CapacitySectors, full)
                 : !said.contains("load image has failed!") && QFileInfo::exists(path))
        faults << path + (complete ? " is not what was sent" : " was left without an outcome");
}

void TestChaos::dispatch(const QString &machine, const QString &port)
{
    answerer.chooseFile(QDir("images").absoluteFilePath("dispatch.img"));
    answerer.pressButtonText(random(2) ? "Restore" : "Restore to Image");
    answerer.pressButton(QMessageBox::Yes);
    trigger("actionUpload", machine, port);
}

// The machine played by the test accepts the load's connection and sends the start of an image,
// or connects to the dispatch's transfer port and reads nothing.
void TestChaos::stalledTransfer(bool isLoad)
{
    ScriptedPeer peer;
    QTcpServer listener;
    QTcpSocket reader;
    reader.setReadBufferSize(1);
    const QByteArray start = simulatedDeviceImage(Stall, "SATA1", CapacitySectors, false);
    connect(&listener, &QTcpServer::newConnection, this, [&] {
        listener.nextPendingConnection()->write(start.left(random(4 * ImageHead::Size)));
    });
    connect(&peer, &ScriptedPeer::dataReceived, this, [&] {
        if (reader.state() == QAbstractSocket::UnconnectedState && peer.received().contains("D ")) {
            reader.bind(QHostAddress(StallAddress));
            reader.connectToHost(QHostAddress::LocalHost, para.tcpport + 1);
        }
    });
    if (!peer.connectTo(QHostAddress::LocalHost, para.tcpport, QHostAddress(StallAddress)) ||
        (isLoad && !listener.listen(QHostAddress(StallAddress), para.tcpport + 1)))
        return;
    peer.sendLines({QString("&M %1|SD|Fake|1|1|SATA1|END").arg(Stall), "@/dev/sda A SATA1 ,8192"});
    if (QTest::qWaitFor([this] { return row(Stall, "SATA1").isValid(); }, WaitMs))
        isLoad ? load(Stall, "SATA1", random(2)) : dispatch(Stall, "SATA1");
}

void TestChaos::consoleSurvivesChaos()
{
    const QStringList startFds = openDescriptors();
    // Warm-up, so that what the console makes once (dialogs, caches) is there at the start.
    for (int m = 0; m < MachineCount; ++m)
        startMachine(m);
    QTRY_VERIFY_WITH_TIMEOUT(all(true), WaitMs);
    action("actionCopy")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(completions.size() >= MachineCount, WaitMs);
    load(name[0], "SATA2", false);
    dispatch(name[1], "SATA1");
    QTRY_VERIFY_WITH_TIMEOUT(all(false), WaitMs);
    const qint64 startKiB = residentKiB();

    ticker.start(TickMs);
    QElapsedTimer chaos;
    chaos.start();
    while (chaos.elapsed() < chaosSeconds() * 1000) {
        const int m = random(MachineCount);
        const QString port = QString("SATA%1").arg(1 + random(3));
        const int act = random(10);
        if (act < 5 && alive(m) && row(name[m], port).isValid()) {
            victim = random(4) == 0 ? m : -1;
            act < 3 ? load(name[m], port, act == 0) : dispatch(name[m], port);
            victim = -1;
        } else if (act == 5 || act == 6) {
            stalledTransfer(act == 5);
        } else if (act > 6) {
            QTest::qWait(200 + random(1000));
        }
    }
    ticker.stop();

    // Calm: strangers leave, every machine comes back and stops whatever it does.
    qDeleteAll(strangers);
    for (int m = 0; m < MachineCount; ++m)
        if (!alive(m))
            startMachine(m);
    QTRY_VERIFY_WITH_TIMEOUT(all(true) && !server()->isBusy(), WaitMs);
    action("actionAbort")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(all(false), WaitMs);

    // Alive: a COPY on every machine runs to its end.
    const int from = log().size();
    action("actionCopy")->trigger();
    for (const QString &machine : name)
        QTRY_VERIFY_WITH_TIMEOUT(log().mid(from).contains(machine + " complete COPY"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(all(false), WaitMs);
    for (const auto &done : qAsConst(completions)) {
        const auto savedAt = [&](int seconds) {
            return fileBytes(runLogFileName(done.first, done.second.addSecs(seconds)))
                .startsWith("Start ");
        };
        if (!savedAt(-1) && !savedAt(0) && !savedAt(1))
            faults << "no run log of " + done.first + " at " + done.second.toString();
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    QVERIFY2(answerer.strays().filter("Dispatch image").size() == answerer.strays().size(),
             qPrintable(answerer.strays().join(", ")));

    // The machines leave: nothing of theirs stays open or in memory, and no temporary run log.
    for (int m = 0; m < MachineCount; ++m)
        killMachine(m);
    QTRY_VERIFY_WITH_TIMEOUT(server()->isClientEmpty(), WaitMs);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList fds = openDescriptors();
    const qint64 kiB = residentKiB();
    for (const QString &fd : startFds)
        fds.removeOne(fd);
    QVERIFY2(fds.isEmpty(), qPrintable(fds.join(", ")));
    if (!TARN_SANITIZED) // the sanitizers keep freed memory
        QVERIFY2(kiB - startKiB < 16 * 1024, qPrintable(QString::number(kiB)));
    QCOMPARE(QDir::temp().entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    QVERIFY2(!machineOutput.contains("AddressSanitizer") &&
                 !machineOutput.contains("runtime error"),
             machineOutput.constData());
}

TARN_TEST_MAIN(TestChaos)

#include "tst_chaos.moc"
