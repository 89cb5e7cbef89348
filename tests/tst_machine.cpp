#include <QtTest>

#include "../tools/machine/content.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "testkit/testenv.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

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

QByteArray imageStream(const QVector<SimContent::Run> &runs, qint64 capacity, quint64 seed,
                       bool tail)
{
    ImageHead head = ImageHead::built(tail ? ImageHead::OptionFastChecksum : 0);
    head.ulDevCap = static_cast<quint64>(capacity);
    QByteArray out = head.encoded();
    for (const SimContent::Run &r : runs)
        out += SStripInLogDiskMy::run(r.offset, r.sectors).encoded();
    out += SStripInLogDiskMy::end(capacity, capacity).encoded();
    SimContent::Checksum sum;
    for (const SimContent::Run &r : runs) {
        const QByteArray data = SimContent::sectors(seed, r.offset, r.sectors);
        sum.add(data);
        out += data;
    }
    if (tail) {
        ImageTail t;
        t.token = ImageTail::Token;
        t.checksum = sum.result();
        out += t.encoded();
    }
    return out;
}

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

// Connects to the machine's transfer port, retrying while it is not yet listening, and reads
// until the machine closes.
QByteArray readLoad(const QString &address, quint16 port, bool *connected)
{
    QTcpSocket socket;
    QByteArray got;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { got += socket.readAll(); });
    auto connectedOrRetry = [&] {
        if (socket.state() == QAbstractSocket::UnconnectedState)
            socket.connectToHost(address, port);
        return socket.state() == QAbstractSocket::ConnectedState;
    };
    *connected = QTest::qWaitFor(connectedOrRetry, LineWaitMs);
    const bool closed = QTest::qWaitFor(
        [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, StreamWaitMs);
    got += socket.readAll();
    return closed ? got : QByteArray("machine kept the connection open");
}

} // namespace

class TestMachine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void identityOnConnect();
    void reconnectsAfterConsoleCloses();
    void findsConsoleByAnnouncement();
    void run_data();
    void run();
    void stopEndsRun();
    void secondRunIsRefusedWhileOneRuns();
    void fileListAndChosenImage();
    void load_data();
    void load();
    void uploadOfStoredFile();
    void loadOfWhatIsNotThereClosesAtOnce_data();
    void loadOfWhatIsNotThereClosesAtOnce();
    void dispatchStored_data();
    void dispatchStored();
    void dispatchRefused_data();
    void dispatchRefused();
    void dispatchFullWritesDevices();
    void dispatchPassesAlongChain();
    void stopEndsLoadAndDispatch();
    void malformedCommandsAreNoted();

private:
    void startMachines(const QStringList &extra = {}, int count = 1);
    QTcpSocket *machine(int index = 0);
    QString addressOf(int index) const;
    QString storeOf(int index) const;
    QByteArray serveDispatch(const QByteArray &stream, int expectedConnections = 1,
                             bool cut = false);

    std::unique_ptr<Console> console;
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryDir> store;
    int machineCount = 0;
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
    machineCount = count;
    process.reset(new QProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{"--console",  "127.0.0.1",
                     "--port",     QString::number(console->port),
                     "--count",    QString::number(count),
                     "--name",     "T",
                     "--address",  FirstAddress,
                     "--capacity", Capacity,
                     "--store",    store->path(),
                     "--run-time", "0.4"};
    process->start(TARN_MACHINE_BIN, args + extra);
    QVERIFY(process->waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(console->peers.size(), count, LineWaitMs);
    for (int i = 0; i < count; ++i)
        QTRY_VERIFY_WITH_TIMEOUT(console->of(machine(i)).contains("Settings End"), LineWaitMs);
}

QString TestMachine::addressOf(int index) const
{
    return QHostAddress(QHostAddress(FirstAddress).toIPv4Address() + index).toString();
}

QString TestMachine::storeOf(int index) const
{
    return QDir(store->path()).filePath(QStringLiteral("T-%1").arg(index + 1));
}

QTcpSocket *TestMachine::machine(int index)
{
    return console->peerFrom(addressOf(index));
}

void TestMachine::identityOnConnect()
{
    startMachines({"--ports", "4", "--devices", "3"});
    const QStringList &lines = console->of(machine());
    QVERIFY(machine());
    QCOMPARE(lines.first(), QString("&M T-1|SD-4|TARN Sim|sim-1.0|4|SATA1|SATA2|SATA3|SATA4|END"));
    const int settings = lines.indexOf("&N ");
    QVERIFY(settings > 0);
    const int end = lines.indexOf("Settings End");
    QVERIFY(lines.mid(settings, end - settings).contains("source=SATA1"));
    // The first machine leaves SATA2 empty; the others are identified straight away.
    QTRY_COMPARE_WITH_TIMEOUT(indexOfPrefix(lines, "@", end), end + 1, LineWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), end + 4, LineWaitMs);
    QCOMPARE(lines.at(end + 1),
             QString("@/dev/sda A SATA1 ,%1,Kestrel SSD 2,Northwind").arg(CapacitySectors));
    QVERIFY(lines.at(end + 2).startsWith("@/dev/sdc A SATA3 ,"));
    QVERIFY(lines.at(end + 3).startsWith("@/dev/sdd A SATA4 ,"));
}

void TestMachine::reconnectsAfterConsoleCloses()
{
    startMachines();
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
    QTest::addColumn<QString>("failRate");
    QTest::addColumn<bool>("withSource");

    QTest::newRow("copy, all pass") << QByteArray("O") << "COPY"
                                    << "0" << true;
    QTest::newRow("compare, all fail") << QByteArray("M") << "COMPARE"
                                       << "1" << true;
    QTest::newRow("verify") << QByteArray("V") << "VERIFY"
                            << "0" << true;
    QTest::newRow("resize") << QByteArray("I") << "RESIZE"
                            << "0" << true;
    QTest::newRow("erase, no source") << QByteArray("E") << "ERASE"
                                      << "0" << false;
}

void TestMachine::run()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, name);
    QFETCH(QString, failRate);
    QFETCH(bool, withSource);

    startMachines({"--ports", "4", "--devices", "4", "--fail-rate", failRate, "--capacity",
                   "1000,2000,3000,4000"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    console->send(m, command);
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&F ", from) > 0, LineWaitMs);
    const QStringList run = lines.mid(from);
    QCOMPARE(run.first(), "&S " + name);
    QCOMPARE(run.last(),
             QString("&F %1: %2").arg(name, failRate == "0" ? "3 OK, 0 NG" : "0 OK, 3 NG"));

    // Sources: SATA1 1000 sectors; targets SATA2..4 hold 2000, 3000, 4000.
    const QStringList targets{"/dev/sdb", "/dev/sdc", "/dev/sdd"};
    const QList<qint64> own{2000, 3000, 4000};
    QCOMPARE(run.at(1), QString("&I %1").arg(withSource ? 1000 : 9000));
    const int identified = indexOfPrefix(run, "@/dev/sdd A SATA4 ,4000,");
    QVERIFY(identified > 0);
    QCOMPARE(indexOfPrefix(run, "@/dev/sda A SATA1 ,1000,") > 0, withSource);
    // Identifications end non-source mode, so its line must come after all of them.
    QCOMPARE(indexOfPrefix(run, "&J") == identified + 1, !withSource);

    for (int t = 0; t < targets.size(); ++t) {
        const qint64 total = withSource ? 1000 : own.at(t);
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
        if (failRate == "0") {
            QCOMPARE(last, total);
            QVERIFY(run.contains(QString("@%1 O").arg(targets.at(t))));
        } else {
            QVERIFY(last < total);
            QVERIFY(run.contains(QString("@%1 N").arg(targets.at(t))));
        }
    }
}

void TestMachine::stopEndsRun()
{
    startMachines({"--run-time", "60", "--devices", "4"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    console->send(m, "O");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "@/dev/sdb C ", from) > 0, LineWaitMs);
    console->send(m, "t");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&F ", from) > 0, LineWaitMs);
    const int terminated = indexOfPrefix(lines, "&T ", from);
    QVERIFY(terminated > 0);
    QCOMPARE(lines.at(terminated), QString("&T stopped by operator"));
    QVERIFY(lines.contains("@/dev/sdb S STOPPED"));
    QVERIFY(lines.at(indexOfPrefix(lines, "&F ", from)).startsWith("&F COPY stopped"));

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

void TestMachine::secondRunIsRefusedWhileOneRuns()
{
    startMachines({"--run-time", "60"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const int from = lines.size();
    console->send(m, "O");
    console->send(m, "E");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#ERASE refused: COPY is running"), LineWaitMs);
    QCOMPARE(indexOfPrefix(lines, "&S ERASE", from), -1);
}

void TestMachine::fileListAndChosenImage()
{
    const QString folder = storeOf(0);
    QVERIFY(QDir().mkpath(folder + "/sub.img"));
    for (const char *name : {"b.img", "a.img", ".hidden.img", "notes.txt"}) {
        QFile f(QDir(folder).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
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

    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        QVERIFY(QFile::remove(QDir(folder).filePath(name)));
    from = lines.size();
    console->send(m, "R");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&R", from) >= 0, LineWaitMs);
    QCOMPARE(lines.at(indexOfPrefix(lines, "&R", from)), QString("&R "));
}

void TestMachine::load_data()
{
    QTest::addColumn<bool>("full");
    QTest::newRow("brief") << false;
    QTest::newRow("full") << true;
}

void TestMachine::load()
{
    QFETCH(bool, full);
    startMachines({"--devices", "4"});
    const quint16 transfer = console->port + 1;
    console->send(machine(), QString("C *SATA3 %1 %2").arg(transfer).arg(full ? 1 : 0).toUtf8());
    bool connected = false;
    const QByteArray got = readLoad(addressOf(0), transfer, &connected);
    QVERIFY(connected);

    // Format: head, table closed by the end entry, data of every run, tail.
    QVERIFY(got.size() > ImageHead::Size);
    const ImageHead head = ImageHead::decode(got.constData());
    QCOMPARE(head.check(), ImageHead::Check::Ok);
    QVERIFY(head.hasTail());
    const quint64 devCap = head.ulDevCap; // packed fields are compared by value
    QCOMPARE(devCap, quint64(CapacitySectors));
    QVector<SimContent::Run> runs;
    int at = ImageHead::Size;
    for (;;) {
        QVERIFY(at + SStripInLogDiskMy::Size <= got.size());
        const SStripInLogDiskMy e = SStripInLogDiskMy::decode(got.constData() + at);
        at += SStripInLogDiskMy::Size;
        const qint64 sectors = e.cn_sector;
        if (e.isEnd()) {
            QCOMPARE(sectors, CapacitySectors);
            break;
        }
        QCOMPARE(e.tp_cmd, SStripInLogDiskMy::TypeRun);
        runs.append({e.off_trg, sectors});
    }
    if (full) {
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.first().offset, qint64(0));
        QCOMPARE(runs.first().sectors, CapacitySectors);
    } else {
        QVERIFY(runs.size() >= 3);
        qint64 usedTo = 0;
        qint64 used = 0;
        for (const SimContent::Run &r : runs) {
            QVERIFY(r.offset >= usedTo && r.sectors > 0);
            usedTo = r.offset + r.sectors;
            used += r.sectors;
        }
        QVERIFY(usedTo <= CapacitySectors);
        QVERIFY(used < CapacitySectors / 2);
    }

    // Content: every sector is the device's own, numbered by its place on the device.
    const quint64 seed = SimContent::deviceSeed("T-1", "SATA3");
    SimContent::Checksum sum;
    for (const SimContent::Run &r : runs) {
        const QByteArray expected = SimContent::sectors(seed, r.offset, r.sectors);
        QVERIFY(at + expected.size() <= got.size());
        QVERIFY2(got.mid(at, expected.size()) == expected,
                 qPrintable(QString("run at %1").arg(r.offset)));
        QCOMPARE(qFromLittleEndian<qint64>(got.constData() + at), r.offset);
        sum.add(expected);
        at += expected.size();
    }
    QCOMPARE(got.size(), at + ImageTail::Size);
    const ImageTail tail = ImageTail::decode(got.constData() + at);
    QVERIFY(tail.isTokenValid());
    const quint32 checksum = tail.checksum;
    QCOMPARE(checksum, sum.result());
    QCOMPARE(got, imageStream(runs, CapacitySectors, seed, true));

    QTRY_VERIFY_WITH_TIMEOUT(
        console->of(machine()).contains(QString("#%1 image of *SATA3 sent: %2 bytes sent")
                                            .arg(full ? "full" : "brief")
                                            .arg(got.size())),
        LineWaitMs);
}

// A stored file goes out as it lies on disk, whatever it holds.
void TestMachine::uploadOfStoredFile()
{
    QVERIFY(QDir().mkpath(storeOf(0)));
    QByteArray content = imageStream({{7, 3000}}, 5000, SimContent::deviceSeed("x", "y"), true);
    content += "bytes after the image go too";
    QFile file(QDir(storeOf(0)).filePath("kept.img"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();
    startMachines();
    const quint16 transfer = console->port + 1;
    console->send(machine(), QString("C *SATA1 %1 0 1 kept.img").arg(transfer).toUtf8());
    bool connected = false;
    QVERIFY(readLoad(addressOf(0), transfer, &connected) == content);
    QVERIFY(connected);
    QTRY_VERIFY_WITH_TIMEOUT(
        console->of(machine()).contains(
            QString("#image file kept.img sent: %1 bytes sent").arg(content.size())),
        LineWaitMs);
}

void TestMachine::loadOfWhatIsNotThereClosesAtOnce_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("note");
    QTest::newRow("empty port") << "SATA2 %1 1"
                                << "#full image of SATA2: not on this machine";
    QTest::newRow("unknown port") << "SATA9 %1 0"
                                  << "#brief image of SATA9: not on this machine";
    QTest::newRow("missing file") << "SATA1 %1 0 1 none.img"
                                  << "#image file none.img: not on this machine";
}

void TestMachine::loadOfWhatIsNotThereClosesAtOnce()
{
    QFETCH(QString, request);
    QFETCH(QString, note);
    startMachines({"--devices", "3"});
    const quint16 transfer = console->port + 1;
    console->send(machine(), ("C " + request.arg(transfer)).toUtf8());
    QElapsedTimer clock;
    clock.start();
    bool connected = false;
    QVERIFY(readLoad(addressOf(0), transfer, &connected).isEmpty());
    QVERIFY(connected);
    QVERIFY(clock.elapsed() < LineWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(console->of(machine()).contains(note), LineWaitMs);
}

// Plays the console's transfer listener: takes the machine's connection, writes the stream (or
// closes after it when cut) and waits for the machine to close. Gives the peer's address.
QByteArray TestMachine::serveDispatch(const QByteArray &stream, int expectedConnections, bool cut)
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
    int extra = 0;
    while (transfer.hasPendingConnections()) {
        delete transfer.nextPendingConnection();
        ++extra;
    }
    if (1 + extra != expectedConnections)
        return "connections: " + QByteArray::number(1 + extra);
    return from.toUtf8();
}

void TestMachine::dispatchStored_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("note");

    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray brief = imageStream({{0, 2048}, {5000, 2049}, {9000, 1}}, 20000, seed, true);
    QTest::newRow("brief image") << brief << "disk.img"
                                 << QString("#stored image disk.img, %1 bytes").arg(brief.size());
    const QByteArray noTail = imageStream({{10, 3}}, 100, seed, false);
    QTest::newRow("no tail") << noTail << "plain.img"
                             << QString("#stored image plain.img, %1 bytes").arg(noTail.size());
    const QByteArray empty = imageStream({}, 100, seed, true);
    QTest::newRow("table of the end entry only")
        << empty << "e.img" << QString("#stored image e.img, 433 bytes");
    QByteArray firmware(1000, 'f');
    QTest::newRow("firmware") << firmwareStream(firmware) << "k31update_v2.bin"
                              << "#firmware k31update_v2.bin received, 2 sectors, kept for the "
                                 "next start";
}

void TestMachine::dispatchStored()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, name);
    QFETCH(QString, note);
    startMachines();
    QBuffer buffer(&stream);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const qint64 cap = imageCapacity(buffer);
    console->send(
        machine(),
        QString("D %1 %2 %3 image : : SATA1").arg(console->port + 1).arg(name).arg(cap).toUtf8());
    QCOMPARE(serveDispatch(stream), QByteArray(FirstAddress));
    QTRY_VERIFY_WITH_TIMEOUT(console->of(machine()).contains(note), LineWaitMs);
    QFile stored(QDir(storeOf(0)).filePath(name));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll() == stream);
    QCOMPARE(QDir(storeOf(0)).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

void TestMachine::dispatchRefused_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("why");

    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray good = imageStream({{0, 2048}, {4096, 100}}, 8192, seed, true);
    QByteArray badSum = good;
    badSum[badSum.size() - 1] = static_cast<char>(badSum.at(badSum.size() - 1) ^ 0x40);
    QTest::newRow("checksum") << badSum << false << "image checksum 0x";
    QByteArray badData = good;
    const int dataByte = ImageHead::Size + 3 * SStripInLogDiskMy::Size + 700;
    badData[dataByte] = static_cast<char>(badData.at(dataByte) ^ 1);
    QTest::newRow("one data bit") << badData << false << "image checksum 0x";
    QByteArray badToken = good;
    badToken[0] = 0;
    QTest::newRow("head token") << badToken << false << "image head token is not correct";
    QByteArray badVersion = good;
    badVersion[4] = 1;
    QTest::newRow("version 1") << badVersion << false << "image version 1 is not supported";
    QByteArray badTail = good;
    badTail[badTail.size() - 8] = 0;
    QTest::newRow("tail token") << badTail << false << "image tail token is not correct";
    QTest::newRow("cut in the data")
        << good.left(good.size() / 2) << true
        << QString("the stream ended after %1 bytes").arg(good.size() / 2);
    QTest::newRow("cut in the table")
        << good.left(ImageHead::Size + 20) << true
        << QString("the stream ended after %1 bytes").arg(ImageHead::Size + 20);
}

void TestMachine::dispatchRefused()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, cut);
    QFETCH(QString, why);
    startMachines();
    console->send(machine(),
                  QString("D %1 bad.img 8192 image : : SATA1").arg(console->port + 1).toUtf8());
    QCOMPARE(serveDispatch(stream, 1, cut), QByteArray(FirstAddress));
    const QStringList &lines = console->of(machine());
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "#dispatch of bad.img failed: " + why) >= 0,
                             LineWaitMs);
    // Nothing is kept of a stream that failed its checks, not even a part file.
    QCOMPARE(QDir(storeOf(0)).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestMachine::dispatchFullWritesDevices()
{
    startMachines({"--devices", "4", "--capacity", "16M,16M,16M,4M"});
    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray stream = imageStream({{0, 2048}, {20000, 3000}}, 30000, seed, true);
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
    QVERIFY(indexOfPrefix(run, "@/dev/sdb A SATA2 ,") > 0);
    QVERIFY(indexOfPrefix(run, "@/dev/sdd A SATA4 ,") > 0);
    QCOMPARE(indexOfPrefix(run, "@/dev/sdc"), -1);
    QVERIFY(run.contains("@/dev/sdb C 100 30000"));
    QVERIFY(run.contains("@/dev/sdb O"));
    QVERIFY(run.contains("@/dev/sdd N"));
    QCOMPARE(run.at(indexOfPrefix(run, "&F ")), QString("&F RESTORE: 1 OK, 1 NG"));
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#restored disk.img, 30000 sectors"), LineWaitMs);
    QCOMPARE(QDir(storeOf(0)).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Three machines of one process in a chain: the first fetches, the others get the stream from
// the machine before them. The first machine's command comes first, before the others know.
void TestMachine::dispatchPassesAlongChain()
{
    startMachines({}, 3);
    const quint16 transfer = console->port + 1;
    const QString neighbour = QString("%1:%2");
    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray stream = imageStream({{0, 4096}, {9000, 2049}}, 12000, seed, true);
    for (int i = 0; i < 3; ++i) {
        const QString previous = i == 0 ? ":" : neighbour.arg(addressOf(i - 1)).arg(transfer);
        const QString next = i == 2 ? ":" : neighbour.arg(addressOf(i + 1)).arg(transfer);
        console->send(machine(i), QString("D %1 chain.img 12000 image %2 %3 SATA1")
                                      .arg(transfer)
                                      .arg(previous, next)
                                      .toUtf8());
    }
    QCOMPARE(serveDispatch(stream), QByteArray(FirstAddress));
    for (int i = 0; i < 3; ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(
            console->of(machine(i))
                .contains(QString("#stored image chain.img, %1 bytes").arg(stream.size())),
            LineWaitMs);
        QFile stored(QDir(storeOf(i)).filePath("chain.img"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY2(stored.readAll() == stream, qPrintable(storeOf(i)));
    }
}

// "t" ends a load and a dispatch on the machine's side: the connection drops, nothing is kept.
void TestMachine::stopEndsLoadAndDispatch()
{
    startMachines({"--capacity", "256M"});
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const quint16 transfer = console->port + 1;

    console->send(m, QString("C SATA1 %1 1").arg(transfer).toUtf8());
    QTcpSocket load;
    load.setReadBufferSize(SectorSize); // the machine stalls on a reader that does not read
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (load.state() == QAbstractSocket::UnconnectedState)
                load.connectToHost(addressOf(0), transfer);
            return load.state() == QAbstractSocket::ConnectedState;
        },
        LineWaitMs));
    console->send(m, "t");
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#full image of SATA1 not sent: stopped"), LineWaitMs);
    load.setReadBufferSize(0);
    QByteArray got;
    QVERIFY(QTest::qWaitFor(
        [&] {
            got += load.readAll();
            return load.state() == QAbstractSocket::UnconnectedState;
        },
        LineWaitMs));
    QVERIFY(got.size() < 256 * 1024 * 1024);

    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, transfer));
    console->send(m, QString("D %1 cut.img 8192 image : : SATA1").arg(transfer).toUtf8());
    QVERIFY(QTest::qWaitFor([&] { return listener.hasPendingConnections(); }, LineWaitMs));
    QTcpSocket *s = listener.nextPendingConnection();
    const QByteArray stream =
        imageStream({{0, 8000}}, 8192, SimContent::deviceSeed("PC", "disk"), true);
    s->write(stream.left(stream.size() / 2));
    QTRY_VERIFY_WITH_TIMEOUT(QDir(storeOf(0)).entryList(QDir::Files | QDir::Hidden).size() == 1,
                             LineWaitMs);
    console->send(m, "t");
    QTRY_VERIFY_WITH_TIMEOUT(s->state() == QAbstractSocket::UnconnectedState, LineWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(lines.contains("#dispatch of cut.img failed: stopped by operator"),
                             LineWaitMs);
    QCOMPARE(QDir(storeOf(0)).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestMachine::malformedCommandsAreNoted()
{
    startMachines();
    QTcpSocket *m = machine();
    const QStringList &lines = console->of(m);
    const QList<QByteArray> junk{
        "C",
        "C SATA1 port 0",
        "C SATA1 1234 0 1",
        "D 1234 x.img",
        "D 1234 x.img 10 sideways : : SATA1",
        "D 1234 x.img 10 image nowhere : SATA1",
        "Q",
        "OO",
        QByteArray(8000, 'x'),
    };
    for (const QByteArray &line : junk)
        console->send(m, line);
    console->send(m, "R");
    QTRY_VERIFY_WITH_TIMEOUT(indexOfPrefix(lines, "&R") >= 0, LineWaitMs);
    QVERIFY(lines.contains("#load command not understood: C"));
    QVERIFY(lines.contains("#load command not understood: C SATA1 port 0"));
    QVERIFY(lines.contains("#load command not understood: C SATA1 1234 0 1"));
    QVERIFY(lines.contains("#dispatch command not understood: D 1234 x.img"));
    QVERIFY(lines.contains("#dispatch command not understood: D 1234 x.img 10 sideways : : SATA1"));
    QVERIFY(
        lines.contains("#dispatch command not understood: D 1234 x.img 10 image nowhere : SATA1"));
    QVERIFY(lines.contains("#unknown command: Q"));
    QVERIFY(lines.contains("#unknown command: OO"));
    QVERIFY(lines.contains("#command of 8000 bytes ignored: too long"));
    QCOMPARE(indexOfPrefix(lines, "&S"), -1);
}

TARN_TEST_MAIN(TestMachine)
#include "tst_machine.moc"
