#include <QtTest>

#include "image/imagefile.h"
#include "server/imagedispatch.h"
#include "server/transferlimits.h"
#include "testkit/imagebuilder.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <ctime>
#include <memory>

using E = SStripInLogDiskMy;

Q_DECLARE_METATYPE(SStripInLogDiskMy)

namespace {
const QHostAddress Loopback(QHostAddress::LocalHost);
constexpr int ShortMsPerSecond = 10; // a minute becomes 0.6 s
constexpr int RetryMs = 20;
constexpr qint64 Never = -1;

// A machine taking a dispatch: connects to the transfer port (from a given local address, and
// again while refused), keeps what it reads, and closes once it has `closeAt` bytes.
class MachineReader : public QObject
{
public:
    MachineReader(quint16 port, qint64 closeAtBytes, QHostAddress from = QHostAddress())
        : port(port), closeAt(closeAtBytes), from(std::move(from))
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            received += socket.readAll();
            if (closeAt != Never && received.size() >= closeAt)
                socket.disconnectFromHost();
        });
        connect(&socket, &QTcpSocket::connected, this, [this] {
            wasConnected = true;
            socket.write(chatter);
        });
        connect(&socket, &QAbstractSocket::errorOccurred, this, [this] {
            if (!wasConnected)
                QTimer::singleShot(RetryMs, this, &MachineReader::start);
        });
    }
    void start()
    {
        socket.abort();
        if (!from.isNull())
            socket.bind(from);
        socket.connectToHost(Loopback, port);
    }
    void startIn(int ms) { QTimer::singleShot(ms, this, &MachineReader::start); }
    bool isConnected() const { return socket.state() == QAbstractSocket::ConnectedState; }

    QByteArray received;
    bool wasConnected = false;
    QByteArray chatter; // sent to the console once connected

private:
    QTcpSocket socket;
    quint16 port;
    qint64 closeAt;
    QHostAddress from;
};

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray expectedFirmwareStream(const QByteArray &file, int size)
{
    QByteArray data = file;
    data.append(QByteArray(size * SectorSize - file.size(), '\0'));
    return ImageHead::built(0).encoded() + E::run(0, size).encoded() +
           E::end(size, size).encoded() + data;
}

QByteArray pattern(int bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 7 + i / 511) & 0xff);
    return data;
}

ImageBuilder taggedImage()
{
    ImageBuilder image;
    image.options = ImageHead::OptionFastChecksum;
    image.devCap = 4096;
    image.checksum = 0x0000beef;
    image.entries = {E::run(0, 2), E::end(2, 4096)};
    return image;
}
} // namespace

class TestImageDispatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void isMachineAddress_data();
    void isMachineAddress();

    void streamsImageAsFileHoldsIt_data();
    void streamsImageAsFileHoldsIt();
    void refusesBrokenFiles_data();
    void refusesBrokenFiles();
    void firmwareStream_data();
    void firmwareStream();
    void firmwareFileMissing();

    void listenTimeLimitWhilePortTaken();
    void connectTimeLimitThenPortIsFree();
    void machineKeepsConnectionOpen();
    void stopWhileWaiting_data();
    void stopWhileWaiting();
    void stopDuringTable();
    void stopDuringData_data();
    void stopDuringData();
    void machineGoesAwayMidStream();
    void whatTheMachineSendsIsDropped();
    void secondConnectionNeverServed();
    void onlyMachinesTakeTheStream();

private:
    struct Outcome
    {
        bool ok = false;
        QStringList log;
        qint64 done = 0;
        qint64 total = 0;
    };
    using Stream = std::function<bool(ImageDispatch &, QTcpSocket &)>;
    static Outcome dispatch(
        quint16 port, const Stream &stream, ImageDispatch::StopQuery stopped = [] { return false; },
        std::function<void(qint64)> onProgress = nullptr,
        ImageDispatch::PeerFilter filter = nullptr);
};

void TestImageDispatch::initTestCase()
{
    // The production time limits, as the console runs them.
    QCOMPARE(TransferLimits::msPerSecond(), 1000);
    QCOMPARE(TransferLimits::ProductionMsPerSecond, 1000);
    QCOMPARE(TransferLimits::scaled(30000), 30000);
    QCOMPARE(TransferLimits::ListenSec, 60);
    QCOMPARE(TransferLimits::DisconnectSec, 30);
    QCOMPARE(TransferLimits::BlockFlushMs, 30000);
    QCOMPARE(TransferLimits::ConnectFullMs, 60000);
    QCOMPARE(TransferLimits::ConnectBriefMs, 200000);
    QCOMPARE(TransferLimits::ConnectUploadMs, 300000);
    QCOMPARE(TransferLimits::FileBacklogMs, 50000);
    QCOMPARE(TransferLimits::FileBacklogBytes, qint64(19660800));
    QCOMPARE(TransferLimits::ReadStallMs, 60000);
    QVERIFY(TransferLimits::PollMs > 0 && TransferLimits::PollMs <= 50);
}

void TestImageDispatch::init()
{
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
}

TestImageDispatch::Outcome TestImageDispatch::dispatch(quint16 port, const Stream &stream,
                                                       ImageDispatch::StopQuery stopped,
                                                       std::function<void(qint64)> onProgress,
                                                       ImageDispatch::PeerFilter filter)
{
    Outcome outcome;
    ImageDispatch engine([&outcome](const QString &line) { outcome.log << line; },
                         std::move(stopped));
    engine.setListenAddress(Loopback);
    engine.setPeerFilter(std::move(filter));
    engine.setProgress([&outcome, onProgress](qint64 done, qint64 total) {
        outcome.done = done;
        outcome.total = total;
        if (onProgress)
            onProgress(done);
    });
    QTcpSocket *socket = nullptr;
    const std::unique_ptr<QTcpServer> listener(
        engine.createServerAndWaitConnection(port, socket, TransferLimits::ListenSec));
    if (!listener)
        return outcome;
    outcome.ok = stream(engine, *socket) &&
                 engine.waitClientDisconnected(socket, TransferLimits::DisconnectSec);
    return outcome;
}

void TestImageDispatch::isMachineAddress_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("same");

    QTest::newRow("mapped peer, plain address") << "::ffff:127.0.0.2"
                                                << "127.0.0.2" << true;
    QTest::newRow("plain both") << "127.0.0.2"
                                << "127.0.0.2" << true;
    QTest::newRow("other host") << "::ffff:127.0.0.3"
                                << "127.0.0.2" << false;
    QTest::newRow("IPv6") << "::1"
                          << "::1" << true;
    QTest::newRow("no address") << "127.0.0.2"
                                << "" << false;
}

void TestImageDispatch::isMachineAddress()
{
    QFETCH(QString, peer);
    QFETCH(QString, address);
    QFETCH(bool, same);
    QCOMPARE(ImageDispatch::isMachineAddress(QHostAddress(peer), address), same);
}

void TestImageDispatch::streamsImageAsFileHoldsIt_data()
{
    QTest::addColumn<QList<E>>("entries");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<int>("streamSize");

    E other = E::run(7, 3);
    other.tp_cmd = 2;
    QTest::newRow("runs of 2048 and 2049 sectors, tail")
        << QList<E>{E::run(0, 2048), E::run(4096, 2049), E::end(9000, 9000)}
        << ImageHead::OptionFastChecksum << 408 + 3 * 17 + 4097 * 512 + 8;
    QTest::newRow("no tail") << QList<E>{E::run(0, 5), E::end(0, 5)} << 0u
                             << 408 + 2 * 17 + 5 * 512;
    QTest::newRow("other types, empty and negative runs send no data")
        << QList<E>{other, E::run(0, 0), E::run(0, -4), E::run(1, 1), E::end(0, 9)} << 0u
        << 408 + 5 * 17 + 512;
    QTest::newRow("end entry first, tail")
        << QList<E>{E::end(0, 1)} << ImageHead::OptionFastChecksum << 433;
    QTest::newRow("end entry first") << QList<E>{E::end(0, 1)} << 0u << 425;
}

void TestImageDispatch::streamsImageAsFileHoldsIt()
{
    QFETCH(QList<E>, entries);
    QFETCH(quint32, options);
    QFETCH(int, streamSize);

    ImageBuilder image = taggedImage();
    image.entries = entries;
    image.options = options;
    const QByteArray stream = image.build(ImageBuilder::Rule::Dispatch);
    QCOMPARE(stream.size(), streamSize);
    const QString name = QDir::current().absoluteFilePath(QStringLiteral("dispatch.img"));
    // Whatever lies behind the image is not sent.
    QVERIFY(writeFile(name, stream + QByteArray(300, 'z')));

    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, stream.size());
    machine.startIn(0);
    const Outcome outcome =
        dispatch(port, [&name](ImageDispatch &d, QTcpSocket &s) { return d.sendImage(s, name); });
    QVERIFY(outcome.ok);
    QCOMPARE(machine.received, stream);
    QCOMPARE(outcome.done, qint64(stream.size()));
    QCOMPARE(outcome.total, qint64(stream.size()));

    QStringList expected{"Create server for listen to client...\n",
                         "Client 127.0.0.1 is connected\n",
                         "Open image file " + name + " for sending to client.\n",
                         "Read and send file head.\n",
                         "Image Disk Size 4096 \n",
                         "Read and send brief log table.\n",
                         "Read and send image data data to client...\n"};
    if (options & ImageHead::OptionFastChecksum)
        expected << "Read and send tail to client.\n"
                 << "image checksum is 0xbeef\n";
    expected << "Flush and wait for disconnect from client 127.0.0.1...\n"
             << "Client is disconnected\n";
    QCOMPARE(outcome.log, expected);
}

void TestImageDispatch::refusesBrokenFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("line");

    const ImageBuilder image = taggedImage();
    const QByteArray good = image.build(ImageBuilder::Rule::Dispatch);
    ImageBuilder version1 = image;
    version1.version = 1;
    const int tableEnd = 408 + 2 * 17;

    QTest::newRow("version 1") << version1.build(ImageBuilder::Rule::Dispatch) << 0
                               << "Image file version is not correct!\n";
    QTest::newRow("wrong token") << QByteArray(4, 'x') + good.mid(4) << 0
                                 << "Image file token is not correct!\n";
    QTest::newRow("short head") << good.left(407) << 0 << "Failed to read image file head!\n";
    QTest::newRow("missing end entry")
        << image.head() + E::run(0, 1).encoded() + E::run(1, 1).encoded() + QByteArray(5, 'x')
        << 408 + 34 << "Unable to read logtable from image file at position 447\n";
    QTest::newRow("data cut short")
        << good.left(tableEnd + 1000) << tableEnd
        << "Unable to read image file at position " + QString::number(tableEnd + 1000) + "!\n";
    QTest::newRow("tail missing") << good.left(good.size() - 8) << good.size() - 8
                                  << "Failed to read image tail!\n";
    QTest::newRow("wrong tail token") << good.left(good.size() - 8) + QByteArray(8, '\0')
                                      << good.size() - 8 << "Image tail token is not correct!\n";
}

void TestImageDispatch::refusesBrokenFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(int, sent);
    QFETCH(QString, line);

    QVERIFY(writeFile(QStringLiteral("broken.img"), file));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, Never);
    machine.startIn(0);
    const Outcome outcome = dispatch(port, [](ImageDispatch &d, QTcpSocket &s) {
        return d.sendImage(s, QStringLiteral("broken.img"));
    });
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log.last(), line);
    QTRY_COMPARE(machine.received, file.left(sent));
}

void TestImageDispatch::firmwareStream_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("sectors");

    QTest::newRow("1000 bytes") << 1000 << 2;
    QTest::newRow("one block") << BUFFER_SIZE << 2048;
    QTest::newRow("one byte over a block") << BUFFER_SIZE + 1 << 2049;
    QTest::newRow("empty") << 0 << 0;
}

void TestImageDispatch::firmwareStream()
{
    QFETCH(int, fileSize);
    QFETCH(int, sectors);

    QCOMPARE((fileSize + 511) / 512, sectors);
    const QByteArray content = pattern(fileSize);
    const QString name = QDir::current().absoluteFilePath(QStringLiteral("k31update.bin"));
    QVERIFY(writeFile(name, content));
    const QByteArray expected = expectedFirmwareStream(content, sectors);
    QCOMPARE(expected.size(), 442 + 512 * sectors);

    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, expected.size());
    machine.startIn(0);
    const Outcome outcome = dispatch(port, [&name, sectors](ImageDispatch &d, QTcpSocket &s) {
        return d.sendFirmware(s, name, sectors);
    });
    QVERIFY(outcome.ok);
    QCOMPARE(machine.received, expected);
    QCOMPARE(outcome.done, qint64(expected.size()));
    QCOMPARE(outcome.total, qint64(expected.size()));
    QCOMPARE(outcome.log.mid(2),
             (QStringList{"create and write firmware image head to client socket\n",
                          "Create and write firmware brief log table to client socket\n",
                          "Writing firmware, size " + QString::number(fileSize) +
                              " bytes, to client socket...\n",
                          "Flush and wait for disconnect from client 127.0.0.1...\n",
                          "Client is disconnected\n"}));
}

void TestImageDispatch::firmwareFileMissing()
{
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, Never);
    machine.startIn(0);
    const QString name = QDir::current().absoluteFilePath(QStringLiteral("zr8usbupdate.bin"));
    const Outcome outcome = dispatch(
        port, [&name](ImageDispatch &d, QTcpSocket &s) { return d.sendFirmware(s, name, 4); });
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log.last(), "Unable to open firmware file " + name + " !\n");
    QVERIFY(machine.received.isEmpty());
}

void TestImageDispatch::listenTimeLimitWhilePortTaken()
{
    TransferLimits::setMsPerSecond(ShortMsPerSecond);
    QTcpServer other;
    QVERIFY(other.listen(Loopback, 0));
    timespec cpuStart{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    QElapsedTimer timer;
    timer.start();
    const Outcome outcome =
        dispatch(other.serverPort(), [](ImageDispatch &, QTcpSocket &) { return true; });
    const qint64 elapsed = timer.elapsed();
    timespec cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    const double cpu =
        double(cpuEnd.tv_sec - cpuStart.tv_sec) + (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9;

    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log, (QStringList{"Create server for listen to client...\n",
                                       "Timeout for listen client!\n"}));
    QVERIFY2(elapsed >= 600 && elapsed < 5000, QByteArray::number(elapsed));
    // Retrying on every tick, not in a tight loop.
    QVERIFY2(cpu < 0.25 * elapsed / 1000.0, QByteArray::number(cpu));
}

void TestImageDispatch::connectTimeLimitThenPortIsFree()
{
    TransferLimits::setMsPerSecond(ShortMsPerSecond);
    const quint16 port = freeLoopbackPort();
    QElapsedTimer timer;
    timer.start();
    const Outcome outcome = dispatch(port, [](ImageDispatch &, QTcpSocket &) { return true; });
    QVERIFY(!outcome.ok);
    QVERIFY2(timer.elapsed() >= 600, QByteArray::number(timer.elapsed()));
    QCOMPARE(outcome.log.last(), QStringLiteral("Timeout and no client is connected!\n"));
    // The listener is gone: a machine connecting later is refused by the system.
    QTcpSocket late;
    late.connectToHost(Loopback, port);
    QTRY_COMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestImageDispatch::machineKeepsConnectionOpen()
{
    TransferLimits::setMsPerSecond(ShortMsPerSecond);
    QVERIFY(
        writeFile(QStringLiteral("open.img"), taggedImage().build(ImageBuilder::Rule::Dispatch)));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, Never);
    machine.startIn(0);
    QElapsedTimer timer;
    const Outcome outcome = dispatch(port, [&timer](ImageDispatch &d, QTcpSocket &s) {
        const bool sent = d.sendImage(s, QStringLiteral("open.img"));
        timer.start();
        return sent;
    });
    QVERIFY(!outcome.ok);
    QVERIFY2(timer.elapsed() >= 300, QByteArray::number(timer.elapsed()));
    QCOMPARE(outcome.log.last(), QStringLiteral("Timeout and client remains connected!\n"));
    // Every byte went out all the same.
    QTRY_COMPARE(machine.received, taggedImage().build(ImageBuilder::Rule::Dispatch));
}

void TestImageDispatch::stopWhileWaiting_data()
{
    QTest::addColumn<bool>("machineComes");
    QTest::newRow("for a machine") << false;
    QTest::newRow("for the machine to close") << true;
}

void TestImageDispatch::stopWhileWaiting()
{
    QFETCH(bool, machineComes);

    QVERIFY(
        writeFile(QStringLiteral("wait.img"), taggedImage().build(ImageBuilder::Rule::Dispatch)));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, Never);
    if (machineComes)
        machine.startIn(0);
    bool stop = false;
    QTimer::singleShot(300, [&stop] { stop = true; });
    const Outcome outcome = dispatch(
        port,
        [](ImageDispatch &d, QTcpSocket &s) { return d.sendImage(s, QStringLiteral("wait.img")); },
        [&stop] { return stop; });
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log.last(), QStringLiteral("is terminated!\n"));
    if (machineComes)
        QCOMPARE(outcome.log.at(outcome.log.size() - 2),
                 QStringLiteral("Flush and wait for disconnect from client 127.0.0.1...\n"));
}

void TestImageDispatch::stopDuringTable()
{
    ImageBuilder image = taggedImage();
    image.entries.clear();
    for (int i = 0; i < 50; ++i)
        image.entries << E::run(i, 1);
    image.entries << E::end(0, 50);
    QVERIFY(writeFile(QStringLiteral("table.img"), image.build(ImageBuilder::Rule::Dispatch)));

    for (bool firmware : {false, true}) {
        const quint16 port = freeLoopbackPort();
        MachineReader machine(port, Never);
        machine.startIn(0);
        bool streaming = false;
        int checks = 0;
        // An image stops after its fourth entry; a firmware stream at its first check, after
        // its first entry.
        const int allowedChecks = firmware ? 0 : 3;
        const Outcome outcome = dispatch(
            port,
            [firmware, &streaming](ImageDispatch &d, QTcpSocket &s) {
                streaming = true;
                return firmware ? d.sendFirmware(s, QStringLiteral("table.img"), 100)
                                : d.sendImage(s, QStringLiteral("table.img"));
            },
            [&] { return streaming && ++checks > allowedChecks; });
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.log.last(), firmware
                                         ? QStringLiteral("send firmware process is terminated!\n")
                                         : QStringLiteral("send image process is terminated!\n"));
        // Head and the entries so far went out, no data.
        QTRY_COMPARE(machine.received.size(), firmware ? 408 + 17 : 408 + 4 * 17);
    }
}

void TestImageDispatch::stopDuringData_data()
{
    QTest::addColumn<bool>("firmware");
    QTest::newRow("image") << false;
    QTest::newRow("firmware") << true;
}

void TestImageDispatch::stopDuringData()
{
    QFETCH(bool, firmware);

    const int sectors = 8 * BlockSectors;
    ImageBuilder image = taggedImage();
    image.entries = {E::run(0, sectors), E::end(0, sectors)};
    QVERIFY(writeFile(QStringLiteral("data.img"), image.build(ImageBuilder::Rule::Dispatch)));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, Never);
    machine.startIn(0);
    bool stop = false;
    const Outcome outcome = dispatch(
        port,
        [firmware, sectors](ImageDispatch &d, QTcpSocket &s) {
            return firmware ? d.sendFirmware(s, QStringLiteral("data.img"), sectors)
                            : d.sendImage(s, QStringLiteral("data.img"));
        },
        [&stop] { return stop; }, [&stop](qint64 done) { stop = stop || done > BUFFER_SIZE; });
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log.last(), firmware ? QStringLiteral("send firmware process is terminated!\n")
                                          : QStringLiteral("send image process is terminated!\n"));
    // The first block went out, and not the rest.
    QCOMPARE(outcome.done, qint64(408 + 34 + BUFFER_SIZE));
}

void TestImageDispatch::machineGoesAwayMidStream()
{
    const int sectors = 16 * BlockSectors;
    ImageBuilder image = taggedImage();
    image.entries = {E::run(0, sectors), E::end(0, sectors)};
    QVERIFY(writeFile(QStringLiteral("big.img"), image.build(ImageBuilder::Rule::Dispatch)));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, BUFFER_SIZE);
    machine.startIn(0);
    const Outcome outcome = dispatch(port, [](ImageDispatch &d, QTcpSocket &s) {
        return d.sendImage(s, QStringLiteral("big.img"));
    });
    QVERIFY(!outcome.ok);
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^Unable to write scoket with image file position \\d+!\\n$"))
                 .match(outcome.log.last())
                 .hasMatch(),
             qPrintable(outcome.log.last()));
    QVERIFY(outcome.done < qint64(sectors) * SectorSize);
}

void TestImageDispatch::whatTheMachineSendsIsDropped()
{
    const QByteArray stream = taggedImage().build(ImageBuilder::Rule::Dispatch);
    QVERIFY(writeFile(QStringLiteral("chatter.img"), stream));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, stream.size());
    machine.chatter = QByteArray(3 * BUFFER_SIZE, 'c');
    machine.startIn(0);
    const Outcome outcome = dispatch(port, [](ImageDispatch &d, QTcpSocket &s) {
        return d.sendImage(s, QStringLiteral("chatter.img"));
    });
    QVERIFY(outcome.ok);
    QCOMPARE(machine.received, stream);
    QCOMPARE(outcome.log.last(), QStringLiteral("Client is disconnected\n"));
}

void TestImageDispatch::secondConnectionNeverServed()
{
    const QByteArray stream = taggedImage().build(ImageBuilder::Rule::Dispatch);
    QVERIFY(writeFile(QStringLiteral("one.img"), stream));
    const quint16 port = freeLoopbackPort();
    MachineReader first(port, stream.size());
    MachineReader second(port, Never);
    first.startIn(0);
    const Outcome outcome = dispatch(port, [&](ImageDispatch &d, QTcpSocket &s) {
        // The second machine is connected, as far as it can tell, before any byte goes out.
        second.start();
        if (!QTest::qWaitFor([&second] { return second.isConnected(); }, 5000))
            return false;
        return d.sendImage(s, QStringLiteral("one.img"));
    });
    QVERIFY(outcome.ok);
    QCOMPARE(first.received, stream);
    QCOMPARE(outcome.log.count(QStringLiteral("Client 127.0.0.1 is connected\n")), 1);
    // The listener is gone once the dispatch returned; the second machine got nothing.
    QTRY_VERIFY(!second.isConnected());
    QVERIFY(second.received.isEmpty());
}

void TestImageDispatch::onlyMachinesTakeTheStream()
{
    const QByteArray stream = taggedImage().build(ImageBuilder::Rule::Dispatch);
    QVERIFY(writeFile(QStringLiteral("only.img"), stream));
    const quint16 port = freeLoopbackPort();
    MachineReader stranger(port, Never, QHostAddress(QStringLiteral("127.0.0.3")));
    MachineReader machine(port, stream.size(), QHostAddress(QStringLiteral("127.0.0.2")));
    stranger.startIn(0);
    // The machine comes later, within the same time limit.
    machine.startIn(300);
    const Outcome outcome = dispatch(
        port,
        [](ImageDispatch &d, QTcpSocket &s) { return d.sendImage(s, QStringLiteral("only.img")); },
        [] { return false; }, nullptr,
        [](const QHostAddress &peer) {
            return ImageDispatch::isMachineAddress(peer, QStringLiteral("127.0.0.2"));
        });
    QVERIFY(outcome.ok);
    QCOMPARE(machine.received, stream);
    QVERIFY(stranger.received.isEmpty());
    QVERIFY(!stranger.isConnected());
    QCOMPARE(outcome.log.mid(0, 3), (QStringList{"Create server for listen to client...\n",
                                                 "Refused transfer connection from 127.0.0.3\n",
                                                 "Client 127.0.0.2 is connected\n"}));
}

TARN_TEST_MAIN(TestImageDispatch)
#include "tst_imagedispatch.moc"
