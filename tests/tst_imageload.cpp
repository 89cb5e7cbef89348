#include <QtTest>

#include "image/imagefile.h"
#include "image/sidecar.h"
#include "testkit/cpuclock.h"
#include "testkit/imagebuilder.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"
#include "transfer/imageload.h"
#include "transfer/transferlimits.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <optional>
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

// What a machine does after the bytes it sends: closes, or keeps the connection open while
// the load waits up to the stall limit, or while its Client is deleted.
enum After
{
    Closes,
    Stalls,
    StallsClientGone
};

// A machine's transfer port: accepts the console, sends the first `sendBytes` bytes of a
// stream (all of it when negative), then closes, or stalls with the connection open.
struct MachinePeer
{
    explicit MachinePeer(const QByteArray &stream, int sendBytes = -1, bool stall = false)
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server,
                         [this, stream, sendBytes, stall] {
                             while (QTcpSocket *socket = server.nextPendingConnection()) {
                                 ++connections;
                                 socket->write(sendBytes < 0 ? stream : stream.left(sendBytes));
                                 if (!stall)
                                     socket->disconnectFromHost();
                             }
                         });
    }
    bool listen(quint16 port = 0) { return server.listen(Loopback, port); }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    int connections = 0;
};

// Where every load of this test goes; removed before each test.
QString target()
{
    return QDir::current().absoluteFilePath(QStringLiteral("loaded.img"));
}

QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Keeps the files of this process below a size, so that writes past it fail as on a full disk.
struct FileSizeLimit
{
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

ImageLoad::Request request(Kind kind, quint16 port)
{
    ImageLoad::Request r;
    r.kind = kind;
    r.address = LoopbackText;
    r.port = port;
    r.deviceName = QStringLiteral("SATA1*");
    r.storedFileName = QStringLiteral("backup 1.img");
    r.targetPath = target();
    return r;
}

struct Run
{
    Result result = Result::Failed;
    QStringList log;
    QStringList commands;
    qint64 done = 0;
    qint64 total = 0;
};

Run load(
    const ImageLoad::Request &request, int connectLimitMs = ConnectLimitMs,
    ImageLoad::StopQuery stopped = [] { return false; },
    std::function<void(qint64)> onProgress = nullptr)
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
} // namespace

Q_DECLARE_METATYPE(After)

class TestImageLoad : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void texts();

    void loadsByteExact_data();
    void loadsByteExact();
    void failureKeepsWhatWasStored_data();
    void failureKeepsWhatWasStored();

    void connectRetriesUntilMachineListens();
    void waitForMachine_data();
    void waitForMachine();
    void stopDuringDataKeepsPartialFile();
    void readAssemblesBlocks();
};

void TestImageLoad::init()
{
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
    QFile::remove(target());
    // Describes an image that every load here overwrites.
    QFile stale(Sidecar::pathFor(target()));
    QVERIFY(stale.open(QIODevice::WriteOnly) &&
            stale.write(QByteArray(64, 'a') + "  loaded.img\n"));
}

void TestImageLoad::texts()
{
    // The request: every '*' dropped from the device name, a stored file's name as listed.
    ImageLoad::Request r = request(Kind::DeviceImage, 53276);
    r.isFull = true;
    r.deviceName = QStringLiteral("*US*B2*");
    QCOMPARE(ImageLoad(r, nullptr, nullptr).commandLine(), QStringLiteral("C USB2 53276 1\n"));
    r = request(Kind::StoredFile, 53276);
    r.storedFileName = QStringLiteral("my %1 image*.img");
    QCOMPARE(ImageLoad(r, nullptr, nullptr).commandLine(),
             QStringLiteral("C SATA1 53276 0 1 my %1 image*.img\n"));

    // An image gets its case-sensitive suffix; an uploaded file keeps the operator's name.
    const QList<QPair<QString, QString>> targets{{"/d/backup", "/d/backup.img"},
                                                 {"/d/backup.IMG", "/d/backup.IMG.img"},
                                                 {"/d/backup.img", "/d/backup.img"}};
    for (const auto &[chosen, path] : targets)
        QCOMPARE(ImageLoad::targetPathFor(Kind::DeviceImage, chosen), path);
    QCOMPARE(ImageLoad::targetPathFor(Kind::StoredFile, "/d/backup"), QStringLiteral("/d/backup"));

    // "is terminated!" only when a load that did not succeed was stopped.
    const Kind d = Kind::DeviceImage;
    const Kind s = Kind::StoredFile;
    QCOMPARE(ImageLoad::closingLines(d, Result::Succeeded, true),
             QStringList{"load image has succeed\n"});
    QCOMPARE(ImageLoad::closingLines(s, Result::Succeeded, false),
             QStringList{"load image file has succeed\n"});
    QCOMPARE(ImageLoad::closingLines(d, Result::Failed, false),
             QStringList{"load image has failed!\n"});
    QCOMPARE(ImageLoad::closingLines(d, Result::Failed, true),
             (QStringList{"is terminated!\n", "load image has failed!\n"}));
    QCOMPARE(ImageLoad::closingLines(s, Result::Stopped, true),
             (QStringList{"is terminated!\n", "load image file has failed!\n"}));
}

void TestImageLoad::loadsByteExact_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QList<E>>("entries");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<int>("fileSize"); // 0: as the builder makes it
    QTest::addColumn<QStringList>("imageLines");

    const QString size = QStringLiteral("Image Disk Size 18446744073709551615 \n");
    const QString checksum = QStringLiteral("image checksum is 0xabcdef\n");
    const quint32 tail = ImageHead::OptionFastChecksum;
    const Kind d = Kind::DeviceImage;
    E other = E::run(7, 2);
    other.tp_cmd = 2;

    QTest::newRow("brief, several runs and tail")
        << d << briefImage().entries << tail << 0 << QStringList{size, checksum};
    // More blocks than the digest has buffers, so that they are handed out again.
    QTest::newRow("full without tail") << d << QList<E>{E::run(0, 12288), E::end(12288, 12288)} << 0u
                                       << 408 + 34 + 12288 * 512 << QStringList{size};
    QTest::newRow("end entry first, tail")
        << d << QList<E>{E::end(0, 8)} << tail << 433 << QStringList{size, checksum};
    QTest::newRow("end entry first, no tail")
        << d << QList<E>{E::end(0, 8)} << 0u << 425 << QStringList{size};
    QTest::newRow("empty and negative runs move nothing")
        << d << QList<E>{E::run(0, 0), E::run(5, -3), E::run(9, 1), E::end(0, 9)} << 0u
        << 408 + 4 * 17 + 512 << QStringList{size};
    QTest::newRow("other entry types are loaded with their data")
        << d << QList<E>{other, E::run(0, 1), E::end(0, 9)} << 0u << 408 + 3 * 17 + 3 * 512
        << QStringList{size};
    QTest::newRow("stored file") << Kind::StoredFile << briefImage().entries << tail << 0
                                 << QStringList{size, "start write log table ...\n",
                                                "start write data ...\n", checksum};
}

void TestImageLoad::loadsByteExact()
{
    QFETCH(Kind, kind);
    QFETCH(QList<E>, entries);
    QFETCH(quint32, options);
    QFETCH(int, fileSize);
    QFETCH(QStringList, imageLines);

    ImageBuilder image = briefImage();
    image.entries = entries;
    image.options = options;
    const QByteArray stream = image.build(ImageBuilder::Rule::Load);
    if (fileSize > 0)
        QCOMPARE(stream.size(), fileSize);
    // Whatever the machine sends after the image is not taken.
    MachinePeer peer(stream + QByteArray(100, 'z'));
    QVERIFY(peer.listen());

    const Run run = load(request(kind, peer.port()));
    QCOMPARE(run.result, Result::Succeeded);
    QCOMPARE(fileBytes(target()), stream);
    QCOMPARE(fileBytes(Sidecar::pathFor(target())),
             QCryptographicHash::hash(stream, QCryptographicHash::Sha256).toHex() +
                 "  loaded.img\n");
    QCOMPARE(run.done, qint64(stream.size()));
    QCOMPARE(run.total, qint64(stream.size()));
    QCOMPARE(peer.connections, 1);

    const QString port = QString::number(peer.port());
    QCOMPARE(run.commands,
             QStringList{"C SATA1 " + port +
                         (kind == Kind::DeviceImage ? " 0\n" : " 0 1 backup 1.img\n")});
    const QStringList expected{
        "Ask client 127.0.0.1 device SATA1 for sending image to server by port " + port +
        " and save with name " + target() + "\n"};
    QCOMPARE(run.log.filter(QRegularExpression(QStringLiteral("^(?!connect state )"))),
             expected + imageLines);
    QCOMPARE(run.log.at(1).left(14), QStringLiteral("connect state "));
    QCOMPARE(run.log.at(2), QStringLiteral("connect state 3 \n"));
}

void TestImageLoad::failureKeepsWhatWasStored_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("sendBytes"); // the rest is never sent
    QTest::addColumn<After>("after");
    QTest::addColumn<int>("fileLimit"); // writes past it fail as on a full disk
    QTest::addColumn<int>("fileSize");  // -1: some part of the stream, within fileLimit
    QTest::addColumn<QStringList>("lastLines");

    const Kind d = Kind::DeviceImage;
    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    const int full = stream.size();
    const int tableEnd = 408 + 4 * 17;
    const int tailAt = full - 8;
    ImageBuilder version1 = briefImage();
    version1.version = 1;
    QByteArray badToken = stream;
    badToken[0] = char(badToken[0] ^ 0x40);
    QByteArray badTail = stream;
    badTail[tailAt] = char(badTail[tailAt] ^ 0x40);
    const QString readError = QStringLiteral("read from 127.0.0.1 cause error!\n");
    const QString writeError = target() + " write error!\n";

    // A lying head or tail is not a read error.
    QTest::newRow("version 1 leaves an empty file")
        << d << version1.build(ImageBuilder::Rule::Load) << -1 << Closes << 0 << 0
        << QStringList{"Image file version is not correct!\n"};
    QTest::newRow("wrong head token") << d << badToken << -1 << Closes << 0 << 0
                                      << QStringList{"Image file token is not correct!\n"};
    QTest::newRow("wrong tail token keeps all before it")
        << d << badTail << -1 << Closes << 0 << tailAt
        << QStringList{"Image tail token is not correct!\n"};

    QTest::newRow("closed within the head")
        << d << stream << 200 << Closes << 0 << 0
        << QStringList{"read socket image head failed!\n", readError};
    QTest::newRow("closed within entry 1")
        << d << stream << 408 + 17 + 5 << Closes << 0 << 408 + 17
        << QStringList{"read socket log table(1)failed!\n", readError};
    QTest::newRow("closed after pieces of a block were stored")
        << d << stream << tableEnd + 3 * 512 + 300000 << Closes << 0 << tableEnd + 3 * 512
        << QStringList{"read socket data failed!\n", readError};
    QTest::newRow("closed within the tail")
        << d << stream << full - 3 << Closes << 0 << tailAt
        << QStringList{"read socket image tail failed!\n", readError};
    QTest::newRow("stalls in the data") << d << stream << tableEnd + 700 << Stalls << 0 << tableEnd
                                        << QStringList{"read socket data failed!\n", readError};
    // A stop while a read waits is a stop, not a read error: the load adds no line.
    QTest::newRow("stalls and its Client goes away")
        << d << stream << tableEnd + 700 << StallsClientGone << 0 << tableEnd
        << QStringList{"Image Disk Size 18446744073709551615 \n"};

    for (Kind kind : {Kind::DeviceImage, Kind::StoredFile}) {
        const QByteArray name = kind == Kind::DeviceImage ? "image: " : "stored file: ";
        QTest::newRow(name + "head not written")
            << kind << stream << -1 << Closes << 100 << -1
            << QStringList{"write image file head failed!\n", writeError};
        QTest::newRow(name + "entry 2 not written")
            << kind << stream << -1 << Closes << 408 + 2 * 17 + 1 << -1
            << QStringList{"write log table(2)failed!\n", writeError};
        QTest::newRow(name + "data not written")
            << kind << stream << -1 << Closes << tableEnd + 4096 << -1
            << QStringList{"write image data failed!\n", writeError};
        QTest::newRow(name + "tail not written")
            << kind << stream << -1 << Closes << tailAt << -1
            << QStringList{"write image file tail failed!\n", writeError};
    }
}

void TestImageLoad::failureKeepsWhatWasStored()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, stream);
    QFETCH(int, sendBytes);
    QFETCH(After, after);
    QFETCH(int, fileLimit);
    QFETCH(int, fileSize);
    QFETCH(QStringList, lastLines);

    if (after == Stalls)
        TransferLimits::setMsPerSecond(ShortMsPerSecond);
    MachinePeer peer(stream, sendBytes, after != Closes);
    QVERIFY(peer.listen());
    // Stands for the machine's Client: the load ends as soon as it is gone.
    QPointer<QObject> client(new QObject);
    if (after == StallsClientGone)
        QTimer::singleShot(100, client, &QObject::deleteLater);
    QElapsedTimer timer;
    timer.start();
    Run run;
    {
        std::optional<FileSizeLimit> limit;
        if (fileLimit > 0)
            limit.emplace(rlim_t(fileLimit));
        run =
            load(request(kind, peer.port()), ConnectLimitMs, [client] { return client.isNull(); });
    }
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(client.isNull(), after == StallsClientGone);
    delete client.data();
    QCOMPARE(run.result, after == StallsClientGone ? Result::Stopped : Result::Failed);
    QCOMPARE(run.log.mid(run.log.size() - lastLines.size()), lastLines);
    QVERIFY(!QFile::exists(Sidecar::pathFor(target())));
    const QByteArray kept = fileBytes(target());
    if (fileSize >= 0) {
        QCOMPARE(kept, stream.left(fileSize));
    } else {
        QVERIFY(kept.size() <= fileLimit);
        QCOMPARE(kept, stream.left(kept.size()));
    }
    // The stall limit is a minute, 0.6 s here; a Client gone ends the load long before it.
    if (after == Stalls)
        QVERIFY2(elapsed >= 600, QByteArray::number(elapsed));
    if (after == StallsClientGone)
        QVERIFY2(elapsed < 5000, QByteArray::number(elapsed));
}

void TestImageLoad::connectRetriesUntilMachineListens()
{
    const QByteArray stream = briefImage().build(ImageBuilder::Rule::Load);
    MachinePeer peer(stream);
    const quint16 port = freeLoopbackPort();
    bool fileBeforeConnect = true;
    QTimer::singleShot(300, [&] {
        fileBeforeConnect = QFile::exists(target());
        QVERIFY(peer.listen(port));
    });

    QCOMPARE(load(request(Kind::DeviceImage, port)).result, Result::Succeeded);
    QVERIFY(!fileBeforeConnect);
    QCOMPARE(fileBytes(target()), stream);
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
        request(Kind::DeviceImage, peer.port()), ConnectLimitMs, [&stop] { return stop; },
        [&stop](qint64 done) { stop = stop || done >= 408 + 34 + 1; });
    QCOMPARE(run.result, Result::Stopped);
    QCOMPARE(fileBytes(target()), stream.left(firstBlockEnd));
    QVERIFY(!QFile::exists(Sidecar::pathFor(target())));
    // No line of its own: the Client closes with "is terminated!" and the failure line.
    QCOMPARE(run.log.last(), QStringLiteral("Image Disk Size 0 \n"));
}

void TestImageLoad::waitForMachine_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::newRow("until the time limit") << false;
    QTest::newRow("until stopped") << true;
}

// Nobody listens at the machine's port: the console retries, sleeping between tries, until its
// time limit or a stop; no file is made.
void TestImageLoad::waitForMachine()
{
    QFETCH(bool, stopped);

    if (!stopped)
        TransferLimits::setMsPerSecond(ShortMsPerSecond);
    bool stop = false;
    QObject scope; // no stop arrives after this test
    if (stopped)
        QTimer::singleShot(1000, &scope, [&stop] { stop = true; });
    const ProcessCpuClock cpuClock;
    QElapsedTimer timer;
    timer.start();
    const Run run = load(request(Kind::DeviceImage, freeLoopbackPort()),
                         TransferLimits::ConnectFullMs, [&stop] { return stop; });
    const double wall = timer.elapsed() / 1000.0;
    const double cpu = cpuClock.elapsed();
    QVERIFY2(wall >= 0.6, qPrintable(QString::number(wall)));
    QVERIFY(!QFile::exists(target()));
    // Nothing was overwritten: a sidecar stays with the image it describes.
    QVERIFY(QFile::exists(Sidecar::pathFor(target())));
    // A spinning wait would take a whole core; retrying each tick takes a few percent at most.
    QVERIFY2(cpu < 0.25 * wall, qPrintable(QStringLiteral("%1 s CPU in %2 s").arg(cpu).arg(wall)));
    if (stopped) {
        QCOMPARE(run.result, Result::Stopped);
        QCOMPARE(run.log.size(), 2); // the request and the first connect state
    } else {
        QCOMPARE(run.result, Result::Failed);
        QVERIFY(QRegularExpression(QStringLiteral("^timeoue when try to connect client "
                                                  "127\\.0\\.0\\.1\\([0-6]\\)!\\n$"))
                    .match(run.log.last())
                    .hasMatch());
    }
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
