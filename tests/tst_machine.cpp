#include <QtTest>

#include "../tools/machine/content.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "testkit/loopbackport.h"
#include "testkit/simulatedmachines.h"
#include "testkit/testenv.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <limits>
#include <memory>
#include <utility>

// The simulated machine program, driven from a console played by the test on loopback.

namespace {

constexpr int LineWaitMs = 10000;
constexpr int StreamWaitMs = 20000;
const char *const FirstAddress = "127.0.0.20";
constexpr qint64 Largest = std::numeric_limits<qint64>::max();
#define WAIT(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, LineWaitMs)

int indexOfPrefix(const QStringList &lines, const QString &prefix, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (lines.at(i).startsWith(prefix))
            return i;
    return -1;
}

} // namespace

class TestMachine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void announcedIdentityAndReconnect();
    void run_data();
    void run();
    void commandSession();
    void dispatch_data();
    void dispatch();
    void dispatchFullWritesDevices();

private:
    // Starts one machine and waits until it has told its settings.
    bool startMachine(const QStringList &extra = {}, const char *console = "127.0.0.1");
    // The lines of the machine's latest connection.
    QStringList &lines() { return linesOf[peers.last()]; }
    void send(const QByteArray &line) { peers.last()->write(line + '\n'); }
    QString store(const QString &name = QString()) const
    {
        return QDir(dir->path()).filePath("T-1/" + name);
    }
    QByteArray serveDispatch(const QByteArray &stream);

    std::unique_ptr<QTcpServer> server;
    quint16 port = 0;
    QList<QTcpSocket *> peers;
    QHash<QTcpSocket *, QStringList> linesOf;
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestMachine::init()
{
    server.reset(new QTcpServer);
    peers.clear();
    linesOf.clear();
    connect(server.get(), &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = server->nextPendingConnection()) {
            peers << s;
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                while (s->canReadLine())
                    linesOf[s] << QString::fromUtf8(s->readLine()).chopped(1);
            });
        }
    });
    port = freePortPair();
    QVERIFY(port && server->listen(QHostAddress::LocalHost, port));
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid() && QDir().mkpath(store()));
}

void TestMachine::cleanup()
{
    process.reset(); // killed
    server.reset();
}

bool TestMachine::startMachine(const QStringList &extra, const char *console)
{
    process.reset(new QProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(TARN_MACHINE_BIN,
                   simulatedMachineArguments(port, 1, "T", FirstAddress, "16M", dir->path()) +
                       QStringList{"--console", console, "--ports", "4", "--run-time", "0.4"} +
                       extra);
    return process->waitForStarted() &&
           QTest::qWaitFor([this] { return !peers.isEmpty() && lines().contains("Settings End"); },
                           LineWaitMs);
}

// The console's datagram carries its address; the machine, pointed at an address where no
// console listens, goes there instead. Unicast on loopback stands in for the broadcast.
void TestMachine::announcedIdentityAndReconnect()
{
    QUdpSocket udp;
    QTimer announce;
    connect(&announce, &QTimer::timeout, this,
            [&] { udp.writeDatagram("127.0.0.1", QHostAddress::LocalHost, port + 2); });
    announce.start(100);
    QVERIFY(startMachine({"--listen-announce"}, "127.0.0.99"));
    const QStringList &first = lines();
    QCOMPARE(first.first(), QString("&M T-1|SD-4|TARN Sim|sim-1.0|4|SATA1|SATA2|SATA3|SATA4|END"));
    const int end = first.indexOf("Settings End");
    QVERIFY(first.indexOf("source=SATA1") > first.indexOf("&N ") && first.indexOf("&N ") > 0);
    // The first machine leaves SATA2 empty; the others are identified straight away.
    QTRY_COMPARE_WITH_TIMEOUT(first.size(), end + 4, LineWaitMs);
    QCOMPARE(first.at(end + 1),
             QString("@/dev/sda A SATA1 ,%1,Kestrel SSD 2,Northwind").arg(16 * 2048));
    QVERIFY(first.at(end + 2).startsWith("@/dev/sdc A SATA3 ,") &&
            first.at(end + 3).startsWith("@/dev/sdd A SATA4 ,"));

    // A console that drops the machine sees it come back.
    peers.last()->abort();
    QTRY_COMPARE_WITH_TIMEOUT(peers.size(), 2, LineWaitMs);
    WAIT(lines().contains("Settings End"));
    QVERIFY(lines().first().startsWith("&M T-1|"));
}

void TestMachine::run_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("pass");
    // The command letter follows from the row's name; ERASE alone runs without source.
    QTest::newRow("O") << "COPY" << true;
    QTest::newRow("M") << "COMPARE" << false;
    QTest::newRow("E") << "ERASE" << true;
}

void TestMachine::run()
{
    QFETCH(QString, name);
    QFETCH(bool, pass);
    const bool withSource = name != "ERASE";

    QVERIFY(startMachine(
        {"--devices", "4", "--fail-rate", pass ? "0" : "1", "--capacity", "1000,2000,3000,4000"}));
    const int from = lines().size();
    send(QTest::currentDataTag());
    WAIT(indexOfPrefix(lines(), "&F ", from) > 0);
    const QStringList run = lines().mid(from);
    QCOMPARE(run.first() + run.last(),
             QString("&S %1&F %1: %2").arg(name, pass ? "3 OK, 0 NG" : "0 OK, 3 NG"));

    // Sources: SATA1 1000 sectors; targets SATA2..4 hold 2000, 3000, 4000.
    QCOMPARE(run.at(1), QString("&I %1").arg(withSource ? 1000 : 9000));
    const int identified = indexOfPrefix(run, "@/dev/sdd A SATA4 ,4000,");
    QVERIFY(identified > 0);
    QCOMPARE(indexOfPrefix(run, "@/dev/sda A SATA1 ,1000,") > 0, withSource);
    // Identifications end non-source mode, so its line must come after all of them.
    QCOMPARE(indexOfPrefix(run, "&J") == identified + 1, !withSource);

    for (int t = 0; t < 3; ++t) {
        const QString target = QString("/dev/sd%1").arg(QChar('b' + t));
        const qint64 total = withSource ? 1000 : 2000 + 1000 * t;
        qint64 last = -1;
        const QStringList progress = run.filter(QRegularExpression("^@" + target + " C "));
        QVERIFY2(progress.size() >= 2, "progress climbs in steps");
        for (const QString &l : progress) // climbing, within the device
            QVERIFY2(std::exchange(last, l.section(' ', 3).toLongLong()) <= last && last <= total,
                     qPrintable(l));
        QCOMPARE(last == total, pass);
        QVERIFY(run.contains(QString("@%1 %2").arg(target, pass ? "O" : "N")));
    }
}

// One session of commands: the store's files, the chosen image, stray and malformed lines, a run
// that refuses a second one and stops, and the next run.
void TestMachine::commandSession()
{
    QVERIFY(QDir().mkpath(store("sub.img")));
    for (const char *name : {"b.img", "a.img", ".hidden.img", "notes.txt"})
        QVERIFY(writeFileBytes(store(name), ""));
    QVERIFY(startMachine({"--run-time", "60", "--devices", "4"}));
    const QStringList &lines = this->lines();
    send("R");
    WAIT(lines.contains("&R a.img|b.img|notes.txt"));
    int from = lines.size();
    send("S b.img");
    WAIT(lines.indexOf("Settings End", from) > 0);
    QVERIFY(lines.mid(from).contains("image file=b.img") &&
            lines.mid(from).contains("source=SATA1"));

    // A name that leads out of the store or is hidden is refused and not remembered; junk is noted.
    const QStringList junk{"#image file name '../b.img' refused",
                           "#image file name '.hidden.img' refused",
                           "#load command not understood: C SATA1 1234 0 1",
                           "#dispatch command not understood: D 1234 x.img 10 sideways : : SATA1",
                           "#unknown command: OO",
                           "#command of 8000 bytes ignored: too long"};
    from = lines.size();
    for (const QString &line : junk.mid(2, 3))
        send(line.section(": ", 1).toUtf8());
    send("S ../b.img");
    send("S .hidden.img");
    send(QByteArray(8000, 'x'));
    send("O");
    WAIT(indexOfPrefix(lines, "@/dev/sdb C ", from) > 0);
    for (const QString &line : junk)
        QVERIFY2(lines.contains(line), qPrintable(line));
    QCOMPARE(lines.indexOf("Settings End", from), -1);
    send("E");
    WAIT(lines.contains("#ERASE refused: COPY is running"));
    QCOMPARE(indexOfPrefix(lines, "&S ERASE", from), -1);
    send("t");
    WAIT(indexOfPrefix(lines, "&F COPY stopped", from) > 0);
    QVERIFY(indexOfPrefix(lines, "&T ", from) > 0);

    // Nothing more of that run, and the machine takes the next one.
    const int after = lines.size();
    send("R");
    WAIT(indexOfPrefix(lines, "&R", after) >= 0);
    QCOMPARE(indexOfPrefix(lines, "@", after), -1);
    send("t"); // nothing runs: no answer
    send("M");
    WAIT(indexOfPrefix(lines, "&S COMPARE", after) > 0);
    QCOMPARE(indexOfPrefix(lines, "&T", after), -1);
}

// Plays the console's transfer listener: takes the machine's connection, writes the stream and
// waits for the machine to close. Gives the peer's address; a
// second connection is an error.
QByteArray TestMachine::serveDispatch(const QByteArray &stream)
{
    QTcpServer transfer;
    if (!transfer.listen(QHostAddress::LocalHost, port + 1))
        return "listen failed";
    if (!QTest::qWaitFor([&] { return transfer.hasPendingConnections(); }, LineWaitMs))
        return "no connection";
    QTcpSocket *s = transfer.nextPendingConnection();
    const QString from = s->peerAddress().toString();
    s->write(stream);
    // The machine closes once it holds the whole stream.
    if (!QTest::qWaitFor([s] { return s->state() == QAbstractSocket::UnconnectedState; },
                         StreamWaitMs))
        return "machine kept the connection open";
    return transfer.hasPendingConnections() ? "second connection" : from.toUtf8();
}

void TestMachine::dispatch_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<QString>("name");
    // exact when kept or restored (its last progress line), the start of the failure line if not
    QTest::addColumn<QString>("note");

    const quint64 seed = SimContent::deviceSeed("PC", "disk");
    const QByteArray brief =
        simulatedImage({{0, 2048}, {5000, 2049}, {9000, 1}}, 20000, seed, true);
    QTest::newRow("brief image") << brief << qint64(20000) << "disk.img"
                                 << QString("#stored image disk.img, %1 bytes").arg(brief.size());
    const QByteArray noTail = simulatedImage({{10, 3}}, 100, seed, false);
    QTest::newRow("no tail") << noTail << qint64(100) << "plain.img"
                             << QString("#stored image plain.img, %1 bytes").arg(noTail.size());

    // Nothing is kept of a stream that fails its checks, not even a part file.
    QByteArray bits = simulatedImage({{0, 2048}, {4096, 100}}, 8192, seed, true);
    const int at = ImageHead::Size + 3 * SStripInLogDiskMy::Size + 700;
    bits[at] = char(bits.at(at) ^ 1);
    const auto bad = [&](const char *row, const QByteArray &stream, const QString &why) {
        QTest::newRow(row) << stream << qint64(8192) << "bad.img"
                           << "#dispatch of bad.img failed: " + why;
    };
    bad("one data bit", bits, "image checksum 0x");
    const QString outside = "image table entry 1 lies outside any device";
    bad("run past the last sector", simulatedImage({{Largest - 1, 2}}, 8192, seed, true), outside);
    bad("negative capacity", simulatedImage({}, -1, seed, true),
        "image capacity -1 is not a number of sectors");

    // A restore names its device's last progress line: within 100 %, whatever the capacity.
    QTest::newRow("restore, capacity near 2^63")
        << simulatedImage({{0, 1}}, 1, seed, true) << Largest << "huge.img"
        << QString("@/dev/sdc C 100 %1").arg(Largest);
}

void TestMachine::dispatch()
{
    QFETCH(QByteArray, stream);
    QFETCH(qint64, capacity);
    QFETCH(QString, name);
    QFETCH(QString, note);
    const bool restore = note.startsWith('@');
    const bool failed = note.startsWith("#dispatch of");
    QVERIFY(startMachine());
    // No media: a restore writes every target, never the source.
    send(QString("D %1 %2 %3 %4 : 127.0.0.9:1 ")
             .arg(port + 1)
             .arg(name)
             .arg(capacity)
             .arg(restore ? "full" : "image")
             .toUtf8());
    QCOMPARE(serveDispatch(stream), QByteArray(FirstAddress));
    WAIT(failed ? indexOfPrefix(lines(), note) >= 0 : lines().contains(note));
    QCOMPARE(indexOfPrefix(lines(), "@/dev/sda C"), -1);
    const bool kept = !restore && !failed;
    QCOMPARE(QDir(store()).entryList(QDir::Files | QDir::Hidden), QStringList(name).mid(!kept));
    QVERIFY(!kept || fileBytes(store(name)) == stream);
}

void TestMachine::dispatchFullWritesDevices()
{
    QVERIFY(startMachine({"--devices", "4", "--capacity", "16M,16M,16M,4M"}));
    const QByteArray stream = simulatedImage({{0, 2048}, {20000, 3000}}, 30000, 1, true);
    const QStringList &lines = this->lines();
    const int from = lines.size();
    // SATA4 holds 4M (8192 sectors), too little for an image of 30000 sectors.
    send(QString("D %1 disk.img 30000 full : : SATA2|SATA4").arg(port + 1).toUtf8());
    // Devices being restored take no other run.
    send("O");
    WAIT(lines.contains("#COPY refused: RESTORE is running"));
    QCOMPARE(serveDispatch(stream), QByteArray(FirstAddress));
    WAIT(indexOfPrefix(lines, "&F ", from) > 0);
    const QStringList run = lines.mid(from);
    QCOMPARE(run.mid(1, 2), QStringList({"&S RESTORE", "&I 30000"}));
    QCOMPARE(indexOfPrefix(run, "@/dev/sdc"), -1);
    QVERIFY(run.contains("@/dev/sdb O") && run.contains("@/dev/sdd N"));
    QCOMPARE(run.at(indexOfPrefix(run, "&F ")), QString("&F RESTORE: 1 OK, 1 NG"));
    WAIT(lines.contains("#restored disk.img, 30000 sectors"));
    QCOMPARE(QDir(store()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TARN_TEST_MAIN(TestMachine)
#include "tst_machine.moc"
