#include <QtTest>

#include "../tools/machine/content.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "testkit/simulatedmachines.h"
#include "testkit/testenv.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <limits>
#include <memory>

// The simulated machine program, driven from a console played by the test on loopback.

namespace {

constexpr int LineWaitMs = 10000;
constexpr int StreamWaitMs = 20000;
constexpr quint16 LowestBase = 20000;
constexpr quint16 HighestBase = 60000;
constexpr int PortAttempts = 100;
const char *const FirstAddress = "127.0.0.20";
const char *const Capacity = "16M";
constexpr qint64 CapacitySectors = 16 * 1024 * 1024 / SectorSize;
constexpr qint64 Largest = std::numeric_limits<qint64>::max();

// A firmware file wrapped as the console wraps it: two entries, no tail, the last sector filled.
QByteArray firmwareStream(const QByteArray &firmware)
{
    const qint64 size = (firmware.size() + SectorSize - 1) / SectorSize;
    QByteArray out = ImageHead::built(0).encoded();
    out += SStripInLogDiskMy::run(0, size).encoded();
    out += SStripInLogDiskMy::end(size, size).encoded();
    QByteArray data = firmware;
    data.append(QByteArray(static_cast<int>(size * SectorSize - firmware.size()), '\0'));
    return out + data;
}

// The console's side: the command listener, every machine's lines, and the transfer port.
class Console : public QObject
{
public:
    Console()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                peers << s;
                lines[s];
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    while (s->canReadLine())
                        lines[s] << QString::fromUtf8(s->readLine()).chopped(1);
                });
            }
        });
    }

    // A random base port whose neighbour (the transfer port) is free too.
    bool start()
    {
        for (int i = 0; i < PortAttempts; ++i) {
            const auto base =
                static_cast<quint16>(QRandomGenerator::global()->bounded(LowestBase, HighestBase));
            if (!server.listen(QHostAddress::LocalHost, base))
                continue;
            QTcpServer probe;
            if (probe.listen(QHostAddress::LocalHost, base + 1)) {
                port = base;
                return true;
            }
            server.close();
        }
        return false;
    }

    QTcpSocket *peerFrom(const QString &address) const
    {
        for (QTcpSocket *s : peers)
            if (s->peerAddress().isEqual(QHostAddress(address), QHostAddress::TolerantConversion))
                return s;
        return nullptr;
    }
    QStringList &of(QTcpSocket *peer) { return lines[peer]; }
    void send(QTcpSocket *peer, const QByteArray &line) { peer->write(line + '\n'); }

    QTcpServer server;
    quint16 port = 0;
    QList<QTcpSocket *> peers;
    QHash<QTcpSocket *, QStringList> lines;
};

int indexOfPrefix(const QStringList &lines, const QString &prefix, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (lines.at(i).startsWith(prefix))
            return i;
    return -1;
}

// Reads a load until the machine closes, connecting again while it is not yet listening.
QByteArray readLoad(const QString &address, quint16 port, bool *connected)
{
    QTcpSocket socket;
    QByteArray got;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { got += socket.readAll(); });
    *connected = QTest::qWaitFor(
        [&] {
            if (socket.state() == QAbstractSocket::UnconnectedState)
                socket.connectToHost(address, port);
            return socket.state() == QAbstractSocket::ConnectedState;
        },
        LineWaitMs);
    const bool closed = QTest::qWaitFor(
        [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, StreamWaitMs);
    got += socket.readAll();
    return closed ? got : QByteArray("machine kept the connection open");
}

qint64 capacityOf(QByteArray stream)
{
    QBuffer buffer(&stream);
    buffer.open(QIODevice::ReadOnly);
    return imageCapacity(buffer);
}

} // namespace

class TestMachine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void identityOnConnectAndReconnect();
    void findsConsoleByAnnouncement();
    void run_data();
    void run();
    void stopEndsRunAndRefusesSecond();
    void fileListAndChosenImage();
    void upload_data();
    void upload();
    void dispatch_data();
    void dispatch();
    void dispatchFullWritesDevices();
    void malformedCommandsAreNoted();

private:
    void startMachines(const QStringList &extra = {}, int count = 1);
    QTcpSocket *machine(int index = 0) { return console->peerFrom(addressOf(index)); }
    QString addressOf(int index) const
    {
        return QHostAddress(QHostAddress(FirstAddress).toIPv4Address() + index).toString();
    }
    QString storeOf(int index) const
    {
        return QDir(store->path()).filePath(QStringLiteral("T-%1").arg(index + 1));
    }
    QStringList storedFiles(int index = 0) const
    {
        return QDir(storeOf(index)).entryList(QDir::Files | QDir::Hidden);
    }
    QByteArray serveDispatch(const QByteArray &stream, bool cut = false);

    std::unique_ptr<Console> console;
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryDir> store;
};

void TestMachine::init()
{
    console.reset(new Console);
    QVERIFY(console->start());
    store.reset(new QTemporaryDir);
    QVERIFY(store->isValid());
}

void TestMachine::cleanup()
{
    if (process) {
        process->kill();
        process->waitForFinished();
    }
    process.reset();
    console.reset();
    store.reset();
}

void TestMachine::startMachines(const QStringList &extra, int count)
{
    process.reset(new QProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList args = QString("--console 127.0.0.1 --port %1 --count %2 --name T "
                                     "--address %3 --capacity %4 --run-time 0.4")
                                 .arg(console->port)
                                 .arg(count)
                                 .arg(FirstAddress, Capacity)
                                 .split(' ') +
                             QStringList{"--store", store->path()};
    process->start(TARN_MACHINE_BIN, args + extra);
    QVERIFY(process->waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(console->peers.size(), count, LineWaitMs);
    for (int i = 0; i < count; ++i)
        QTRY_VERIFY_WITH_TIMEOUT(console->of(machine(i)).contains("Settings End"), LineWaitMs);
}

void TestMachine::identityOnConnectAndReconnect()
{
    startMachines({"--ports", "4", "--devices", "3"});
    const QStringList &lines = console->of(machine());
    QCOMPARE(lines.first(), QString("&M T-1|SD-4|TARN Sim|sim-1.0|4|SATA1|SATA2|SATA3|SATA4|END"));
    const int settings = lines.indexOf("&N ");
    QVERIFY(settings > 0);
    const int end = lines.indexOf("Settings End");
    QVERIFY(lines.mid(settings, end - settings).contains("source=SATA1"));
    // The first machine leaves SATA2 empty; the others are identified straight away.
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), end + 4, LineWaitMs);
    QCOMPARE(lines.at(end + 1),
             QString("@/dev/sda A SATA1 ,%1,Kestrel SSD 2,Northwind").arg(CapacitySectors));
    QVERIFY(lines.at(end + 2).startsWith("@/dev/sdc A SATA3 ,"));
    QVERIFY(lines.at(end + 3).startsWith("@/dev/sdd A SATA4 ,"));

    // A console that drops the machine sees it come back.
    machine()->abort();
    console->peers.clear();
    QTRY_COMPARE_WITH_TIMEOUT(console->peers.size(), 1, LineWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(console->of(machine()).contains("Settings End"), LineWaitMs);
    QVERIFY(console->of(machine()).first().startsWith("&M T-1|"));
}

// The console's datagram carries its address; the machine, pointed at an address where no
// console listens, goes there instead. Unicast on loopback stands in for the broadcast.
void TestMachine::findsConsoleByAnnouncement()
{
    process.reset(new QProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(TARN_MACHINE_BIN,
                   {"--console", "127.0.0.99", "--port", QString::number(console->port), "--count",
                    "1", "--name", "T", "--address", FirstAddress, "--store", store->path(),
                    "--listen-announce", "--watch-pid",
                    QString::number(QCoreApplication::applicationPid())});
    QVERIFY(process->waitForStarted());
    QUdpSocket udp;
    const auto announced = [&] {
        udp.writeDatagram("127.0.0.1", QHostAddress::LocalHost, console->port + 2);
        return !console->peers.isEmpty();
    };
    QVERIFY(QTest::qWaitFor(announced, LineWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(console->of(machine()).contains("Settings End"), LineWaitMs);
}

void TestMachine::run_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<bool>("withSource");

    QTest::newRow("copy, all pass") << QByteArray("O") << "COPY" << true << true;
    QTest::newRow("compare, all fail") << QByteArray("M") << "COMPARE" << false << true;
    QTest::newRow("verify") << QByteArray("V") << "VERIFY" << true << true;
    QTest::newRow("resize") << QByteArray("I") << "RESIZE" << true << true;
    QTest::newRow("erase, no source") << QByteArray("E") << "ERASE" << true << false;
}

void TestMachine::run()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, name);
    QFETCH(bool, pass);
    QFETCH(bool, withSource);

    startMachines({"--ports", "4", "--devices", "4", "--fail-rate", pass ? "0" : "1", "--capacity",
                   "1000,2000,3000,4000"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    console->send(m, command);
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&F ", from) > 0, LineWaitMs);
    const QStringList run = lines.mid(from);
    QCOMPARE(run.first(), "&S " + name);
    QCOMPARE(run.last(), QString("&F %1: %2").arg(name, pass ? "3 OK, 0 NG" : "0 OK, 3 NG"));

    // Sources: SATA1 1000 sectors; targets SATA2..4 hold 2000, 3000, 4000.
    QCOMPARE(run.at(1), QString("&I %1").arg(withSource ? 1000 : 9000));
    const int identified = indexOfPrefix(run, "@/dev/sdd A SATA4 ,4000,");
    QVERIFY(identified > 0);
    QCOMPARE(indexOfPrefix(run, "@/dev/sda A SATA1 ,1000,") > 0, withSource);
    // Identifications end non-source mode, so its line must come after all of them.
    QCOMPARE(indexOfPrefix(run, "&J") == identified + 1, !withSource);

    const QStringList targets{"/dev/sdb", "/dev/sdc", "/dev/sdd"};
    for (int t = 0; t < targets.size(); ++t) {
        const qint64 total = withSource ? 1000 : 2000 + 1000 * t;
        qint64 last = -1;
        int progressLines = 0;
        for (const QString &l : run) {
            if (!l.startsWith('@' + targets.at(t) + " C "))
                continue;
            const qint64 done = l.section(' ', 3).toLongLong();
            QVERIFY2(done >= last && done <= total, qPrintable(l));
            last = done;
            ++progressLines;
        }
        QVERIFY2(progressLines >= 2, "progress climbs in steps");
        QCOMPARE(last == total, pass);
        QVERIFY(run.contains(QString("@%1 %2").arg(targets.at(t), pass ? "O" : "N")));
    }
}

void TestMachine::stopEndsRunAndRefusesSecond()
{
    startMachines({"--run-time", "60", "--devices", "4"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    console->send(m, "O");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "@/dev/sdb C ", from) > 0, LineWaitMs);
    console->send(m, "E");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#ERASE refused: COPY is running"), LineWaitMs);
    QCOMPARE(indexOfPrefix(lines, "&S ERASE", from), -1);
    console->send(m, "t");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&F COPY stopped", from) > 0, LineWaitMs);

    // Nothing more of that run, and the machine takes the next one.
    const int after = lines.size();
    console->send(m, "R");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&R", after) >= 0, LineWaitMs);
    QCOMPARE(indexOfPrefix(lines, "@", after), -1);
    console->send(m, "t"); // nothing runs: no answer
    console->send(m, "M");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&S COMPARE", after) > 0, LineWaitMs);
    QCOMPARE(indexOfPrefix(lines, "&T", after), -1);
}

void TestMachine::fileListAndChosenImage()
{
    const QString folder = storeOf(0);
    QVERIFY(QDir().mkpath(folder + "/sub.img"));
    for (const char *name : {"b.img", "a.img", ".hidden.img", "notes.txt"})
        QVERIFY(QFile(QDir(folder).filePath(name)).open(QIODevice::WriteOnly));
    startMachines();
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    console->send(m, "R");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("&R a.img|b.img|notes.txt"), LineWaitMs);

    int from = lines.size();
    console->send(m, "S b.img");
    QTRY_VERIFY_WITH_TIMEOUT(lines.indexOf("Settings End", from) > 0, LineWaitMs);
    QVERIFY(lines.mid(from).contains("image file=b.img"));
    QVERIFY(lines.mid(from).contains("source=SATA1"));

    // A name that leads out of the store is refused and not remembered.
    from = lines.size();
    console->send(m, "S ../b.img");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#image file name '../b.img' refused"), LineWaitMs);
    QCOMPARE(lines.indexOf("Settings End", from), -1);
}

// A stored file goes out as it lies on disk, whatever it holds.
static QByteArray storedUpload()
{
    return simulatedImage({{7, 3000}}, 5000, SimContent::deviceSeed("x", "y"), true) +
           "bytes after the image go too";
}

void TestMachine::upload_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("note");
    QTest::newRow("stored file")
        << "*SATA1 %1 0 1 kept.img" << storedUpload()
        << QString("#image file kept.img sent: %1 bytes sent").arg(storedUpload().size());
    // What is not there: the connection closes at once, empty.
    QTest::newRow("empty port") << "SATA2 %1 1" << QByteArray()
                                << "#full image of SATA2: not on this machine";
    QTest::newRow("unknown port") << "SATA9 %1 0" << QByteArray()
                                  << "#brief image of SATA9: not on this machine";
    QTest::newRow("missing file") << "SATA1 %1 0 1 none.img" << QByteArray()
                                  << "#image file none.img: not on this machine";
}

void TestMachine::upload()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, sent);
    QFETCH(QString, note);
    QVERIFY(QDir().mkpath(storeOf(0)));
    QFile file(QDir(storeOf(0)).filePath("kept.img"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(storedUpload()), qint64(storedUpload().size()));
    file.close();
    startMachines({"--devices", "3"});
    const quint16 transfer = console->port + 1;
    console->send(machine(), ("C " + request.arg(transfer)).toUtf8());
    QElapsedTimer clock;
    clock.start();
    bool connected = false;
    QVERIFY(readLoad(addressOf(0), transfer, &connected) == sent);
    QVERIFY(connected);
    QVERIFY(clock.elapsed() < LineWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(console->of(machine()).contains(note), LineWaitMs);
}

// Plays the console's transfer listener: takes the machine's connection, writes the stream (or
// closes after it when cut) and waits for the machine to close. Gives the peer's address; a
// second connection is an error.
QByteArray TestMachine::serveDispatch(const QByteArray &stream, bool cut)
{
    QTcpServer transfer;
    if (!transfer.listen(QHostAddress::LocalHost, console->port + 1))
        return "listen failed";
    if (!QTest::qWaitFor([&] { return transfer.hasPendingConnections(); }, LineWaitMs))
        return "no connection";
    QTcpSocket *s = transfer.nextPendingConnection();
    const QString from = s->peerAddress().toString();
    s->write(stream);
    if (cut)
        s->disconnectFromHost();
    // The machine closes once it holds the whole stream.
    if (!QTest::qWaitFor([s] { return s->state() == QAbstractSocket::UnconnectedState; },
                         StreamWaitMs))
        return "machine kept the connection open";
    if (transfer.hasPendingConnections())
        return "second connection";
    return from.toUtf8();
}

void TestMachine::dispatch_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("name");
    // exact when kept or restored (its last progress line), the start of the failure line if not
    QTest::addColumn<QString>("note");

    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray brief =
        simulatedImage({{0, 2048}, {5000, 2049}, {9000, 1}}, 20000, seed, true);
    QTest::newRow("brief image") << brief << capacityOf(brief) << false << "disk.img"
                                 << QString("#stored image disk.img, %1 bytes").arg(brief.size());
    const QByteArray noTail = simulatedImage({{10, 3}}, 100, seed, false);
    QTest::newRow("no tail") << noTail << capacityOf(noTail) << false << "plain.img"
                             << QString("#stored image plain.img, %1 bytes").arg(noTail.size());
    const QByteArray empty = simulatedImage({}, 100, seed, true);
    QTest::newRow("table of the end entry only") << empty << capacityOf(empty) << false << "e.img"
                                                 << QString("#stored image e.img, 433 bytes");
    const QByteArray firmware = firmwareStream(QByteArray(1000, 'f'));
    QTest::newRow("firmware") << firmware << capacityOf(firmware) << false << "k31update_v2.bin"
                              << "#firmware k31update_v2.bin received, 2 sectors, kept for the "
                                 "next start";

    // Nothing is kept of a stream that fails its checks, not even a part file.
    const QByteArray good = simulatedImage({{0, 2048}, {4096, 100}}, 8192, seed, true);
    const QString failed = "#dispatch of bad.img failed: ";
    const auto flipped = [&](int at, char bits) {
        QByteArray b = good;
        b[at] = static_cast<char>(b.at(at) ^ bits);
        return b;
    };
    const auto bad = [&](const char *row, const QByteArray &stream, const QString &why,
                         bool cut = false) {
        QTest::newRow(row) << stream << qint64(8192) << cut << "bad.img" << failed + why;
    };
    bad("checksum", flipped(good.size() - 1, 0x40), "image checksum 0x");
    bad("one data bit", flipped(ImageHead::Size + 3 * SStripInLogDiskMy::Size + 700, 1),
        "image checksum 0x");
    bad("head token", flipped(0, good.at(0)), "image head token is not correct");
    bad("version 1", flipped(4, good.at(4) ^ 1), "image version 1 is not supported");
    bad("tail token", flipped(good.size() - 8, good.at(good.size() - 8)),
        "image tail token is not correct");
    bad("cut in the data", good.left(good.size() / 2),
        QString("the stream ended after %1 bytes").arg(good.size() / 2), true);
    bad("cut in the table", good.left(ImageHead::Size + 20),
        QString("the stream ended after %1 bytes").arg(ImageHead::Size + 20), true);
    const QString outside = "image table entry 1 lies outside any device";
    bad("run before the first sector", simulatedImage({{-5, 1}}, 8192, seed, true), outside);
    bad("run past the last sector", simulatedImage({{Largest - 1, 2}}, 8192, seed, true), outside);
    bad("negative capacity", simulatedImage({}, -1, seed, true),
        "image capacity -1 is not a number of sectors");

    // A restore names its device's last progress line: within 100 %, whatever the capacity.
    QTest::newRow("restore, capacity near 2^63")
        << simulatedImage({{0, 1}}, 1, seed, true) << Largest << false << "huge.img"
        << QString("@/dev/sda C 100 %1").arg(Largest);
}

void TestMachine::dispatch()
{
    QFETCH(QByteArray, stream);
    QFETCH(qint64, capacity);
    QFETCH(bool, cut);
    QFETCH(QString, name);
    QFETCH(QString, note);
    const bool restore = note.startsWith('@');
    const bool kept = !restore && !note.startsWith("#dispatch of");
    startMachines();
    console->send(machine(), QString("D %1 %2 %3 %4 : : SATA1")
                                 .arg(console->port + 1)
                                 .arg(name)
                                 .arg(capacity)
                                 .arg(restore ? "full" : "image")
                                 .toUtf8());
    QCOMPARE(serveDispatch(stream, cut), QByteArray(FirstAddress));
    const QStringList &lines = console->of(machine());
    QTRY_VERIFY_WITH_TIMEOUT(
        kept || restore ? lines.contains(note) : indexOfPrefix(lines, note) >= 0, LineWaitMs);
    QCOMPARE(storedFiles(), kept ? QStringList{name} : QStringList());
    if (kept) {
        QFile stored(QDir(storeOf(0)).filePath(name));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll() == stream);
    }
}

void TestMachine::dispatchFullWritesDevices()
{
    startMachines({"--devices", "4", "--capacity", "16M,16M,16M,4M"});
    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray stream = simulatedImage({{0, 2048}, {20000, 3000}}, 30000, seed, true);
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    // SATA4 holds 4M (8192 sectors), too little for an image of 30000 sectors.
    console->send(
        m, QString("D %1 disk.img 30000 full : : SATA2|SATA4").arg(console->port + 1).toUtf8());
    // Devices being restored take no other run.
    console->send(m, "O");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#COPY refused: RESTORE is running"), LineWaitMs);
    QCOMPARE(serveDispatch(stream), QByteArray(FirstAddress));
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&F ", from) > 0, LineWaitMs);
    const QStringList run = lines.mid(from);
    QCOMPARE(run.at(1), QString("&S RESTORE"));
    QCOMPARE(run.at(2), QString("&I 30000"));
    QCOMPARE(indexOfPrefix(run, "@/dev/sdc"), -1);
    QVERIFY(run.contains("@/dev/sdb O"));
    QVERIFY(run.contains("@/dev/sdd N"));
    QCOMPARE(run.at(indexOfPrefix(run, "&F ")), QString("&F RESTORE: 1 OK, 1 NG"));
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#restored disk.img, 30000 sectors"), LineWaitMs);
    QCOMPARE(storedFiles(), QStringList());
}

void TestMachine::malformedCommandsAreNoted()
{
    startMachines();
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const QString load = "#load command not understood: ";
    const QString dispatch = "#dispatch command not understood: ";
    const QVector<QPair<QByteArray, QString>> junk{
        {"C", load},
        {"C SATA1 port 0", load},
        {"C SATA1 1234 0 1", load},
        {"D 1234 x.img", dispatch},
        {"D 1234 x.img 10 sideways : : SATA1", dispatch},
        {"D 1234 x.img 10 image nowhere : SATA1", dispatch},
        {"Q", "#unknown command: "},
        {"OO", "#unknown command: "},
    };
    for (const auto &line : junk)
        console->send(m, line.first);
    console->send(m, QByteArray(8000, 'x'));
    console->send(m, "R");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&R") >= 0, LineWaitMs);
    for (const auto &line : junk)
        QVERIFY2(lines.contains(line.second + line.first), line.first.constData());
    QVERIFY(lines.contains("#command of 8000 bytes ignored: too long"));
    QCOMPARE(indexOfPrefix(lines, "&S"), -1);
}

TARN_TEST_MAIN(TestMachine)
#include "tst_machine.moc"
