#include <QtTest>

#include "client/imageload.h"
#include "image/imagefile.h"
#include "server/transferlimits.h"
#include "testkit/imagebuilder.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

using E = SStripInLogDiskMy;
using Kind = ImageLoad::Kind;
using Result = ImageLoad::Result;

Q_DECLARE_METATYPE(SStripInLogDiskMy)
Q_DECLARE_METATYPE(ImageLoad::Kind)
Q_DECLARE_METATYPE(ImageLoad::Result)

namespace {
const QHostAddress Loopback(QHostAddress::LocalHost);
const QString LoopbackText = QStringLiteral("127.0.0.1");
constexpr int ConnectLimitMs = 5000; // generous: the peers here listen from the start
constexpr int ShortMsPerSecond = 10; // a minute becomes 0.6 s

// A machine's transfer port: accepts the console, sends the first `sendBytes` bytes of a
// stream (all of it when negative), then closes or stalls with the connection open.
class MachinePeer : public QObject
{
public:
    enum class After
    {
        Close,
        Stall
    };

    explicit MachinePeer(QByteArray stream, qint64 sendBytes = -1, After after = After::Close)
        : stream(std::move(stream)), sendBytes(sendBytes), after(after)
    {
        connect(&server, &QTcpServer::newConnection, this, &MachinePeer::serve);
    }
    bool listen(quint16 port = 0) { return server.listen(Loopback, port); }
    quint16 port() const { return server.serverPort(); }
    int connections = 0;

private:
    void serve()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            socket->write(sendBytes < 0 ? stream : stream.left(int(sendBytes)));
            if (after == After::Close)
                socket->disconnectFromHost();
        }
    }

    QTcpServer server;
    QByteArray stream;
    qint64 sendBytes;
    After after;
};

QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Keeps the files of this process below a size, so that writes past it fail as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

ImageBuilder briefImage()
{
    ImageBuilder image;
    image.options = ImageHead::OptionFastChecksum;
    image.devCap = Q_UINT64_C(18446744073709551615);
    image.checksum = 0x00abcdef;
    image.entries = {E::run(0, 3), E::run(100, 2049), E::run(9000, 2048), E::end(20000, 20000)};
    return image;
}
} // namespace

class TestImageLoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void targetPath_data();
    void targetPath();
    void closingLines_data();
    void closingLines();

    void loadsByteExact_data();
    void loadsByteExact();
    void refusedHeadOrTail_data();
    void refusedHeadOrTail();
    void machineClosesEarly_data();
    void machineClosesEarly();
    void writeFailures_data();
    void writeFailures();

    void connectRetriesUntilMachineListens();
    void connectTimeLimit();
    void stopWhileConnecting();
    void stopDuringDataKeepsPartialFile();
    void stalledMachine();
    void ownerGoneEndsLoad();
    void waitingForMachineSleeps();

    void readAssemblesBlocks();

private:
    struct Run
    {
        Result result = Result::Failed;
        QStringList log;
        QStringList commands;
        qint64 done = 0;
        qint64 total = 0;
    };
    ImageLoad::Request request(Kind kind, quint16 port, const QString &target) const;
    Run load(
        const ImageLoad::Request &request, int connectLimitMs = ConnectLimitMs,
        ImageLoad::StopQuery stopped = [] { return false; },
        std::function<void(qint64)> onProgress = nullptr);
    static QStringList withoutConnectLines(const QStringList &log);
};

void TestImageLoad::init()
{
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
}

void TestImageLoad::cleanup()
{
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
}

ImageLoad::Request TestImageLoad::request(Kind kind, quint16 port, const QString &target) const
{
    ImageLoad::Request r;
    r.kind = kind;
    r.address = LoopbackText;
    r.port = port;
    r.deviceName = QStringLiteral("SATA1*");
    r.storedFileName = QStringLiteral("backup 1.img");
    r.targetPath = target;
    return r;
}

TestImageLoad::Run TestImageLoad::load(const ImageLoad::Request &request, int connectLimitMs,
                                       ImageLoad::StopQuery stopped,
                                       std::function<void(qint64)> onProgress)
{
    Run run;
    ImageLoad engine(
        request, [&run](const QString &line) { run.log << line; }, std::move(stopped));
    engine.setProgress([&run, onProgress](qint64 done, qint64 total) {
        run.done = done;
        run.total = total;
        if (onProgress)
            onProgress(done);
    });
    run.result = engine.run([&run](const QString &line) { run.commands << line; }, connectLimitMs);
    return run;
}

QStringList TestImageLoad::withoutConnectLines(const QStringList &log)
{
    QStringList rest;
    for (const QString &line : log)
        if (!line.startsWith(QLatin1String("connect state ")))
            rest << line;
    return rest;
}

void TestImageLoad::commandLine_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("isFull");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("line");

    QTest::newRow("brief") << Kind::DeviceImage << false << "SATA1*"
                           << ""
                           << "C SATA1 53276 0\n";
    QTest::newRow("full, every star dropped") << Kind::DeviceImage << true << "*US*B2*"
                                              << ""
                                              << "C USB2 53276 1\n";
    QTest::newRow("stored file name unchanged") << Kind::StoredFile << false << "SATA1*"
                                                << "my %1 image*.img"
                                                << "C SATA1 53276 0 1 my %1 image*.img\n";
}

void TestImageLoad::commandLine()
{
    QFETCH(Kind, kind);
    QFETCH(bool, isFull);
    QFETCH(QString, device);
    QFETCH(QString, stored);
    QFETCH(QString, line);

    ImageLoad::Request r = request(kind, 53276, QStringLiteral("x.img"));
    r.isFull = isFull;
    r.deviceName = device;
    r.storedFileName = stored;
    ImageLoad engine(
        r, [](const QString &) {}, [] { return false; });
    QCOMPARE(engine.commandLine(), line);
}

void TestImageLoad::targetPath_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target");

    QTest::newRow("suffix added") << Kind::DeviceImage << "/d/backup"
                                  << "/d/backup.img";
    QTest::newRow("suffix is case-sensitive") << Kind::DeviceImage << "/d/backup.IMG"
                                              << "/d/backup.IMG.img";
    QTest::newRow("suffix kept") << Kind::DeviceImage << "/d/backup.img"
                                 << "/d/backup.img";
    QTest::newRow("upload keeps the name") << Kind::StoredFile << "/d/backup"
                                           << "/d/backup";
}

void TestImageLoad::targetPath()
{
    QFETCH(Kind, kind);
    QFETCH(QString, chosen);
    QFETCH(QString, target);
    QCOMPARE(ImageLoad::targetPathFor(kind, chosen), target);
}

void TestImageLoad::closingLines_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Result>("result");
    QTest::addColumn<bool>("stopRaised");
    QTest::addColumn<QStringList>("lines");

    const Kind d = Kind::DeviceImage;
    const Kind s = Kind::StoredFile;
    QTest::newRow("image ok") << d << Result::Succeeded << false
                              << QStringList{"load image has succeed\n"};
    QTest::newRow("ok though stopped late")
        << d << Result::Succeeded << true << QStringList{"load image has succeed\n"};
    QTest::newRow("file ok") << s << Result::Succeeded << false
                             << QStringList{"load image file has succeed\n"};
    QTest::newRow("image failed") << d << Result::Failed << false
                                  << QStringList{"load image has failed!\n"};
    QTest::newRow("failed under stop")
        << d << Result::Failed << true
        << QStringList{"is terminated!\n", "load image has failed!\n"};
    QTest::newRow("file stopped") << s << Result::Stopped << true
                                  << QStringList{"is terminated!\n",
                                                 "load image file has failed!\n"};
}

void TestImageLoad::closingLines()
{
    QFETCH(Kind, kind);
    QFETCH(Result, result);
    QFETCH(bool, stopRaised);
    QFETCH(QStringList, lines);
    QCOMPARE(ImageLoad::closingLines(kind, result, stopRaised), lines);
}

void TestImageLoad::loadsByteExact_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QList<E>>("entries");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<QByteArray>("trailing");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QStringList>("imageLines");

    const QString size = QStringLiteral("Image Disk Size 18446744073709551615 \n");
    const QString checksum = QStringLiteral("image checksum is 0xabcdef\n");
    const quint32 tail = ImageHead::OptionFastChecksum;
    E other = E::run(7, 2);
    other.tp_cmd = 2;

    QTest::newRow("brief, several runs and tail")
        << Kind::DeviceImage << briefImage().entries << tail << QByteArray() << -1
        << QStringList{size, checksum};
    QTest::newRow("full without tail")
        << Kind::DeviceImage << QList<E>{E::run(0, 4096), E::end(4096, 4096)} << 0u << QByteArray()
        << 408 + 34 + 4096 * 512 << QStringList{size};
    QTest::newRow("end entry first, tail") << Kind::DeviceImage << QList<E>{E::end(0, 8)} << tail
                                           << QByteArray() << 433 << QStringList{size, checksum};
    QTest::newRow("end entry first, no tail") << Kind::DeviceImage << QList<E>{E::end(0, 8)} << 0u
                                              << QByteArray() << 425 << QStringList{size};
    QTest::newRow("empty and negative runs move nothing")
        << Kind::DeviceImage << QList<E>{E::run(0, 0), E::run(5, -3), E::run(9, 1), E::end(0, 9)}
        << 0u << QByteArray() << 408 + 4 * 17 + 512 << QStringList{size};
    QTest::newRow("other entry types are loaded with their data")
        << Kind::DeviceImage << QList<E>{other, E::run(0, 1), E::end(0, 9)} << 0u << QByteArray()
        << 408 + 3 * 17 + 3 * 512 << QStringList{size};
    QTest::newRow("bytes after the image are not taken")
        << Kind::DeviceImage << QList<E>{E::run(0, 1), E::end(0, 1)} << tail << QByteArray(100, 'z')
        << 408 + 34 + 512 + 8 << QStringList{size, checksum};
    QTest::newRow("stored file") << Kind::StoredFile << briefImage().entries << tail << QByteArray()
                                 << -1
                                 << QStringList{size, "start write log table ...\n",
                                                "start write data ...\n", checksum};
}

void TestImageLoad::loadsByteExact()
{
    QFETCH(Kind, kind);
    QFETCH(QList<E>, entries);
    QFETCH(quint32, options);
    QFETCH(QByteArray, trailing);
    QFETCH(int, fileSize);
    QFETCH(QStringList, imageLines);

    ImageBuilder image = briefImage();
    image.entries = entries;
    image.options = options;
    const QByteArray stream = image.build(ImageBuilder::Rule::Load);
    if (fileSize >= 0)
        QCOMPARE(stream.size(), fileSize);
    MachinePeer peer(stream + trailing);
    QVERIFY(peer.listen());

    const QString target = QStringLiteral("loaded.img");
    const Run run = load(request(kind, peer.port(), target));
    QCOMPARE(run.result, Result::Succeeded);
    QCOMPARE(fileBytes(target), stream);
    QCOMPARE(run.done, qint64(stream.size()));
    QCOMPARE(run.total, qint64(stream.size()));
    QCOMPARE(peer.connections, 1);

    const QString port = QString::number(peer.port());
    QCOMPARE(run.commands,
             QStringList{kind == Kind::DeviceImage ? "C SATA1 " + port + " 0\n"
                                                   : "C SATA1 " + port + " 0 1 backup 1.img\n"});
    QStringList expected{"Ask client 127.0.0.1 device SATA1 for sending image to server by port " +
                         port + " and save with name loaded.img\n"};
    QCOMPARE(withoutConnectLines(run.log), expected + imageLines);
    QCOMPARE(run.log.at(1).left(14), QStringLiteral("connect state "));
    QCOMPARE(run.log.at(2), QStringLiteral("connect state 3 \n"));
}

void TestImageLoad::refusedHeadOrTail_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<int>("corruptAt");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QString>("line");

    const int tailAt = briefImage().build(ImageBuilder::Rule::Load).size() - 8;
    QTest::newRow("version 1 leaves an empty file")
        << 1u << -1 << 0 << "Image file version is not correct!\n";
    QTest::newRow("wrong head token") << 2u << 0 << 0 << "Image file token is not correct!\n";
    QTest::newRow("wrong tail token keeps all before it")
        << 2u << tailAt << tailAt << "Image tail token is not correct!\n";
}

void TestImageLoad::refusedHeadOrTail()
{
    QFETCH(quint32, version);
    QFETCH(int, corruptAt);
    QFETCH(int, fileSize);
    QFETCH(QString, line);

    ImageBuilder image = briefImage();
    image.version = version;
    QByteArray stream = image.build(ImageBuilder::Rule::Load);
    if (corruptAt >= 0)
        stream[corruptAt] = char(stream[corruptAt] ^ 0x40);
    MachinePeer peer(stream);
    QVERIFY(peer.listen());

    const Run run = load(request(Kind::DeviceImage, peer.port(), QStringLiteral("refused.img")));
    QCOMPARE(run.result, Result::Failed);
    QCOMPARE(run.log.last(), line);
    // A lying head or tail is not a read error.
    QVERIFY(!run.log.join(QString()).contains(QLatin1String("read from")));
    QVERIFY(QFile::exists(QStringLiteral("refused.img")));
    QCOMPARE(fileBytes(QStringLiteral("refused.img")), stream.left(fileSize));
}

void TestImageLoad::machineClosesEarly_data()
{
    QTest::addColumn<int>("sendBytes");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QString>("line");

    const int tableEnd = 408 + 4 * 17;
    const int full = briefImage().build(ImageBuilder::Rule::Load).size();
    QTest::newRow("nothing") << 0 << 0 << "read socket image head failed!\n";
    QTest::newRow("within the head") << 200 << 0 << "read socket image head failed!\n";
    QTest::newRow("within entry 1")
        << 408 + 17 + 5 << 408 + 17 << "read socket log table(1)failed!\n";
    QTest::newRow("in the middle of a block")
        << tableEnd + 3 * 512 + 1000 << tableEnd + 3 * 512 << "read socket data failed!\n";
    QTest::newRow("after pieces of a block were stored")
        << tableEnd + 3 * 512 + 300000 << tableEnd + 3 * 512 << "read socket data failed!\n";
    QTest::newRow("within the tail") << full - 3 << full - 8 << "read socket image tail failed!\n";
}

void TestImageLoad::machineClosesEarly()
{
    QFETCH(int, sendBytes);
    QFETCH(int, fileSize);
    QFETCH(QString, line);

    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream, sendBytes);
    QVERIFY(peer.listen());

    const Run run = load(request(Kind::DeviceImage, peer.port(), QStringLiteral("cut.img")));
    QCOMPARE(run.result, Result::Failed);
    QCOMPARE(run.log.mid(run.log.size() - 2),
             (QStringList{line, "read from 127.0.0.1 cause error!\n"}));
    QCOMPARE(fileBytes(QStringLiteral("cut.img")), stream.left(fileSize));
}

void TestImageLoad::writeFailures_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("fileLimit");
    QTest::addColumn<QString>("line");

    const int tableEnd = 408 + 4 * 17;
    const int dataEnd = briefImage().build(ImageBuilder::Rule::Load).size() - 8;
    for (Kind kind : {Kind::DeviceImage, Kind::StoredFile}) {
        const QByteArray name = kind == Kind::DeviceImage ? "image: " : "stored file: ";
        QTest::newRow(name + "head") << kind << 100 << "write image file head failed!\n";
        QTest::newRow(name + "entry 2")
            << kind << 408 + 2 * 17 + 1 << "write log table(2)failed!\n";
        QTest::newRow(name + "data") << kind << tableEnd + 4096 << "write image data failed!\n";
        QTest::newRow(name + "tail") << kind << dataEnd << "write image file tail failed!\n";
    }
}

void TestImageLoad::writeFailures()
{
    QFETCH(Kind, kind);
    QFETCH(int, fileLimit);
    QFETCH(QString, line);

    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream);
    QVERIFY(peer.listen());
    const QString target = QDir::current().absoluteFilePath(QStringLiteral("full-disk.img"));
    Run run;
    {
        const FileSizeLimit limit{rlim_t(fileLimit)};
        run = load(request(kind, peer.port(), target));
    }
    QCOMPARE(run.result, Result::Failed);
    QCOMPARE(run.log.mid(run.log.size() - 2), (QStringList{line, target + " write error!\n"}));
    // What was written before the failure stays, unchanged.
    const QByteArray kept = fileBytes(target);
    QVERIFY(kept.size() <= fileLimit);
    QCOMPARE(kept, stream.left(kept.size()));
}

void TestImageLoad::connectRetriesUntilMachineListens()
{
    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream);
    const quint16 port = freeLoopbackPort();
    const QString target = QStringLiteral("late.img");
    bool fileBeforeConnect = true;
    QTimer::singleShot(300, [&] {
        fileBeforeConnect = QFile::exists(target);
        QVERIFY(peer.listen(port));
    });

    const Run run = load(request(Kind::DeviceImage, port, target));
    QCOMPARE(run.result, Result::Succeeded);
    QVERIFY(!fileBeforeConnect);
    QCOMPARE(fileBytes(target), stream);
    QCOMPARE(run.log.at(1).left(14), QStringLiteral("connect state "));
    QCOMPARE(run.log.at(2), QStringLiteral("connect state 3 \n"));
}

void TestImageLoad::connectTimeLimit()
{
    TransferLimits::setMsPerSecond(ShortMsPerSecond);
    const quint16 port = freeLoopbackPort();
    QElapsedTimer timer;
    timer.start();
    const Run run = load(request(Kind::DeviceImage, port, QStringLiteral("never.img")),
                         TransferLimits::ConnectFullMs);
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(run.result, Result::Failed);
    QVERIFY2(elapsed >= 600 && elapsed < 5000, QByteArray::number(elapsed));
    QVERIFY(QRegularExpression(QStringLiteral("^timeoue when try to connect client "
                                              "127\\.0\\.0\\.1\\([0-6]\\)!\\n$"))
                .match(run.log.last())
                .hasMatch());
    QVERIFY(!QFile::exists(QStringLiteral("never.img")));
}

void TestImageLoad::stopWhileConnecting()
{
    const quint16 port = freeLoopbackPort();
    bool stop = false;
    QTimer::singleShot(200, [&stop] { stop = true; });
    const Run run = load(request(Kind::DeviceImage, port, QStringLiteral("stopped.img")),
                         TransferLimits::ConnectBriefMs, [&stop] { return stop; });
    QCOMPARE(run.result, Result::Stopped);
    QCOMPARE(run.log.size(), 2); // the request and the first connect state
    QVERIFY(!QFile::exists(QStringLiteral("stopped.img")));
}

void TestImageLoad::stopDuringDataKeepsPartialFile()
{
    ImageBuilder image;
    image.entries = {E::run(0, 3 * 2048), E::end(0, 3 * 2048)};
    const QByteArray stream = image.build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream);
    QVERIFY(peer.listen());

    // The operator presses stop while the first block is being stored.
    const int firstBlockEnd = 408 + 2 * 17 + BUFFER_SIZE;
    bool stop = false;
    const Run run = load(
        request(Kind::DeviceImage, peer.port(), QStringLiteral("partial.img")), ConnectLimitMs,
        [&stop] { return stop; }, [&stop](qint64 done) { stop = stop || done >= 408 + 34 + 1; });
    QCOMPARE(run.result, Result::Stopped);
    QCOMPARE(fileBytes(QStringLiteral("partial.img")), stream.left(firstBlockEnd));
    // No line of its own: the Client closes with "is terminated!" and the failure line.
    QCOMPARE(run.log.last(), QStringLiteral("Image Disk Size 0 \n"));
}

void TestImageLoad::stalledMachine()
{
    TransferLimits::setMsPerSecond(ShortMsPerSecond);
    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    const int sent = 408 + 4 * 17 + 700;
    MachinePeer peer(stream, sent, MachinePeer::After::Stall);
    QVERIFY(peer.listen());

    QElapsedTimer timer;
    timer.start();
    const Run run = load(request(Kind::DeviceImage, peer.port(), QStringLiteral("stall.img")));
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(run.result, Result::Failed);
    QVERIFY2(elapsed >= 600 && elapsed < 5000, QByteArray::number(elapsed));
    QCOMPARE(run.log.mid(run.log.size() - 2),
             (QStringList{"read socket data failed!\n", "read from 127.0.0.1 cause error!\n"}));
    QCOMPARE(fileBytes(QStringLiteral("stall.img")), stream.left(408 + 4 * 17));
}

void TestImageLoad::ownerGoneEndsLoad()
{
    // The machine stops sending and its Client goes away meanwhile: the load ends at once, as
    // the Client's own stop query says, without waiting for the stall limit.
    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream, 408 + 4 * 17 + 700, MachinePeer::After::Stall);
    QVERIFY(peer.listen());
    auto *owner = new QObject;
    QPointer<QObject> guard(owner);
    QTimer::singleShot(100, owner, &QObject::deleteLater);

    QElapsedTimer timer;
    timer.start();
    const Run run = load(request(Kind::DeviceImage, peer.port(), QStringLiteral("gone.img")),
                         ConnectLimitMs, [guard] { return guard.isNull(); });
    QCOMPARE(run.result, Result::Failed);
    QVERIFY(guard.isNull());
    QVERIFY2(timer.elapsed() < 5000, QByteArray::number(timer.elapsed()));
    QCOMPARE(run.log.mid(run.log.size() - 2),
             (QStringList{"read socket data failed!\n", "read from 127.0.0.1 cause error!\n"}));
    QCOMPARE(ImageLoad::closingLines(Kind::DeviceImage, run.result, guard.isNull()),
             (QStringList{"is terminated!\n", "load image has failed!\n"}));
}

void TestImageLoad::waitingForMachineSleeps()
{
    const quint16 port = freeLoopbackPort();
    bool stop = false;
    QTimer::singleShot(1000, [&stop] { stop = true; });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const Run run = load(request(Kind::DeviceImage, port, QStringLiteral("idle.img")),
                         TransferLimits::ConnectBriefMs, [&stop] { return stop; });
    const double wall = timer.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    QCOMPARE(run.result, Result::Stopped);
    // A spinning wait would take a whole core; retrying each tick takes a few percent at most.
    QVERIFY2(cpu < 0.25 * wall, qPrintable(QStringLiteral("%1 s CPU in %2 s").arg(cpu).arg(wall)));
}

void TestImageLoad::readAssemblesBlocks()
{
    // The Client's own read, on a buffered socket, across pieces that come with pauses.
    QTcpServer server;
    QVERIFY(server.listen(Loopback, 0));
    QTcpSocket console;
    console.connectToHost(Loopback, server.serverPort());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *machine = server.nextPendingConnection();
    QTRY_COMPARE(console.state(), QAbstractSocket::ConnectedState);

    const QByteArray bytes =
        ImageBuilder{0, 2, 0, 0, {E::run(0, 5), E::end(0, 5)}}.data(ImageBuilder::Rule::Load);
    machine->write(bytes.left(1000));
    QTimer::singleShot(50, machine, [&] { machine->write(bytes.mid(1000)); });
    QByteArray got(bytes.size(), '\0');
    QVERIFY(ImageLoad::read(console, got.data(), got.size(), [] { return false; }));
    QCOMPARE(got, bytes);

    // Half a record, then the machine closes: the read fails.
    machine->write(bytes.left(10));
    machine->disconnectFromHost();
    QVERIFY(!ImageLoad::read(console, got.data(), 17, [] { return false; }));
}

TARN_TEST_MAIN(TestImageLoad)
#include "tst_imageload.moc"
