#include <QtTest>

#include "image/imagefile.h"
#include "testkit/cpuclock.h"
#include "testkit/imagebuilder.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"
#include "transfer/imagedispatch.h"
#include "transfer/transferlimits.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using E = SStripInLogDiskMy;

Q_DECLARE_METATYPE(SStripInLogDiskMy)

namespace {
const QHostAddress Loopback(QHostAddress::LocalHost);
constexpr int ShortMsPerSecond = 10; // a minute becomes 0.6 s
constexpr int RetryMs = 20;
constexpr qint64 Never = -1;
constexpr int NoStop = -2;
constexpr int StopInData = -1;

// What a dispatch waits for until its time limit.
enum class Wait
{
    Listen,  // its own port to open
    Connect, // a machine to connect
    Close,   // the machine to close after the last byte
    Read     // the machine to take the data, which it stops reading
};

// How the sendfile seam treats the stream's data: sendfile(2) itself, refused as a file system
// without it refuses, or refused after a first piece of the first block went through it.
enum class Refusal
{
    None,
    FromStart,
    WithinBlock
};
constexpr qint64 BeforeRefusalBytes = 700;

// sendfile(2) as the seam lets it through, counting its calls and the bytes it took.
struct SendFileSeam
{
    Refusal refusal = Refusal::None;
    int calls = 0;
    qint64 bytes = 0;

    BlockSender::SendFile sendFile()
    {
        return [this](int socketFd, int fileFd, qint64 *offset, qint64 count) -> qint64 {
            const bool refused =
                refusal == Refusal::FromStart || (refusal == Refusal::WithinBlock && calls > 0);
            ++calls;
            if (refused) {
                errno = EINVAL;
                return -1;
            }
            if (refusal == Refusal::WithinBlock)
                count = qMin(count, BeforeRefusalBytes);
            const qint64 sent = BlockSender::kernelSendFile(socketFd, fileFd, offset, count);
            bytes += qMax<qint64>(sent, 0);
            return sent;
        };
    }
};

// The sector data of an image stream: what lies between its table and its tail.
qint64 imageDataBytes(const QByteArray &stream)
{
    int at = ImageHead::Size;
    while (!SStripInLogDiskMy::decode(stream.constData() + at).isEnd())
        at += SStripInLogDiskMy::Size;
    const bool tail = ImageHead::decode(stream.constData()).hasTail();
    return stream.size() - (at + SStripInLogDiskMy::Size) - (tail ? ImageTail::Size : 0);
}

// A machine taking a dispatch: connects to the transfer port when made (again while refused),
// or never, sends `chatter`, keeps what it reads, and closes once it has `closeAt` bytes.
struct MachineReader : QObject
{
    MachineReader(quint16 port, qint64 closeAtBytes, bool starts = true)
        : port(port), closeAt(closeAtBytes)
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            if (!reading)
                return;
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
        if (starts)
            start();
    }
    void start()
    {
        socket.abort();
        socket.connectToHost(Loopback, port);
    }
    // Takes nothing more from the kernel, so that its buffers fill up.
    void stopReading()
    {
        reading = false;
        socket.setReadBufferSize(1);
    }

    bool reading = true;
    QByteArray received;
    bool wasConnected = false;
    QByteArray chatter;
    QTcpSocket socket;
    quint16 port;
    qint64 closeAt;
};

// The file every dispatch of this test sends, written anew; empty when it cannot be.
QString imageFile(const QByteArray &bytes)
{
    const QString name = QDir::current().absoluteFilePath(QStringLiteral("dispatch.img"));
    QFile file(name);
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    return written ? name : QString();
}

ImageBuilder taggedImage(QList<E> entries = {E::run(0, 2), E::end(2, 4096)})
{
    return ImageBuilder{ImageHead::OptionFastChecksum, ImageHead::Version, 4096, 0x0000beef,
                        std::move(entries)};
}

QByteArray oneRunStream(int sectors)
{
    return taggedImage({E::run(0, sectors), E::end(0, sectors)})
        .build(ImageBuilder::Rule::Dispatch);
}

using Stream = std::function<bool(ImageDispatch &, QTcpSocket &)>;

// The stream of an image file, or of a firmware file of `sectors` sectors when not negative.
Stream sending(const QString &name, int firmwareSectors = -1)
{
    return [name, firmwareSectors](ImageDispatch &d, QTcpSocket &s) {
        return firmwareSectors < 0 ? d.sendImage(s, name)
                                   : d.sendFirmware(s, name, firmwareSectors);
    };
}

struct Outcome
{
    bool ok = false;
    QStringList log;
    qint64 done = 0;
    qint64 total = 0;
};

// Listens at `port`, streams to the machine that connects and waits for it to close.
Outcome dispatch(
    quint16 port, const Stream &stream, ImageDispatch::StopQuery stopped = [] { return false; },
    std::function<void(qint64)> onProgress = nullptr)
{
    Outcome outcome;
    ImageDispatch engine([&outcome](const QString &line) { outcome.log << line; },
                         std::move(stopped));
    engine.setListenAddress(Loopback);
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
} // namespace

Q_DECLARE_METATYPE(Refusal)

class TestImageDispatch : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void streamsByteExact_data();
    void streamsByteExact();
    void fails_data();
    void fails();

    void waits_data();
    void waits();
};

void TestImageDispatch::init()
{
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
}

void TestImageDispatch::streamsByteExact_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("firmwareSectors"); // negative: an image file
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("lines"); // after the connection
    QTest::addColumn<Refusal>("refusal");

    const QString name = QDir::current().absoluteFilePath(QStringLiteral("dispatch.img"));
    const auto image = [&name](const char *row, const QList<E> &entries, quint32 options,
                               int streamSize, Refusal refusal = Refusal::None) {
        ImageBuilder builder = taggedImage(entries);
        builder.options = options;
        const QByteArray stream = builder.build(ImageBuilder::Rule::Dispatch);
        QVERIFY(stream.size() == streamSize);
        QStringList lines{"Open image file " + name + " for sending to client.\n",
                          "Read and send file head.\n", "Image Disk Size 4096 \n",
                          "Read and send brief log table.\n",
                          "Read and send image data data to client...\n"};
        if (options & ImageHead::OptionFastChecksum)
            lines << "Read and send tail to client.\n"
                  << "image checksum is 0xbeef\n";
        // Whatever lies behind the image is not sent.
        QTest::newRow(row) << stream + QByteArray(300, 'z') << -1 << stream << lines << refusal;
    };
    // The file, then zeros to whole sectors, behind a head and a table of one run.
    const auto firmware = [](const char *row, int fileSize, int sectors,
                             Refusal refusal = Refusal::None) {
        QByteArray content(fileSize, Qt::Uninitialized);
        for (int i = 0; i < fileSize; ++i)
            content[i] = char((i * 7 + i / 511) & 0xff);
        const QByteArray stream = ImageHead::built(0).encoded() + E::run(0, sectors).encoded() +
                                  E::end(sectors, sectors).encoded() + content +
                                  QByteArray(sectors * SectorSize - fileSize, '\0');
        QVERIFY(stream.size() == 442 + 512 * sectors);
        QTest::newRow(row) << content << sectors << stream
                           << QStringList{"create and write firmware image head to client socket\n",
                                          "Create and write firmware brief log table to client "
                                          "socket\n",
                                          "Writing firmware, size " + QString::number(fileSize) +
                                              " bytes, to client socket...\n"}
                           << refusal;
    };

    E other = E::run(7, 3);
    other.tp_cmd = 2;
    const QList<E> bigRuns{E::run(0, 2048), E::run(4096, 2049), E::end(9000, 9000)};
    const int bigRunsSize = 408 + 3 * 17 + 4097 * 512 + 8;
    image("runs of 2048 and 2049 sectors, tail", bigRuns, ImageHead::OptionFastChecksum,
          bigRunsSize);
    image("sendfile refused", bigRuns, ImageHead::OptionFastChecksum, bigRunsSize,
          Refusal::FromStart);
    image("sendfile refused within a block", bigRuns, ImageHead::OptionFastChecksum, bigRunsSize,
          Refusal::WithinBlock);
    image("no tail", {E::run(0, 5), E::end(0, 5)}, 0, 408 + 2 * 17 + 5 * 512);
    image("other types, empty and negative runs send no data",
          {other, E::run(0, 0), E::run(0, -4), E::run(1, 1), E::end(0, 9)}, 0, 408 + 5 * 17 + 512);
    image("end entry first, tail", {E::end(0, 1)}, ImageHead::OptionFastChecksum, 433);
    image("end entry first", {E::end(0, 1)}, 0, 425);
    firmware("firmware of 1000 bytes", 1000, 2);
    firmware("firmware of one block", BUFFER_SIZE, 2048);
    firmware("firmware one byte over a block", BUFFER_SIZE + 1, 2049);
    firmware("firmware, sendfile refused", BUFFER_SIZE + 1, 2049, Refusal::FromStart);
    firmware("firmware, sendfile refused within its last sector", 1000, 2, Refusal::WithinBlock);
    firmware("empty firmware", 0, 0);
}

void TestImageDispatch::streamsByteExact()
{
    QFETCH(QByteArray, file);
    QFETCH(int, firmwareSectors);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, lines);
    QFETCH(Refusal, refusal);

    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, stream.size());
    // What the machine sends is dropped, however much it is.
    machine.chatter = QByteArray(3 * BUFFER_SIZE, 'c');
    SendFileSeam seam{refusal};
    const Stream send = sending(imageFile(file), firmwareSectors);
    const Outcome outcome = dispatch(port, [&](ImageDispatch &d, QTcpSocket &s) {
        d.setSendFile(seam.sendFile());
        return send(d, s);
    });
    QVERIFY(outcome.ok);
    // Every byte of the file's data goes through sendfile; once refused, none more.
    if (refusal == Refusal::None)
        QCOMPARE(seam.bytes, firmwareSectors < 0 ? imageDataBytes(stream) : qint64(file.size()));
    else
        QCOMPARE(seam.calls, refusal == Refusal::FromStart ? 1 : 2);
    QCOMPARE(machine.received, stream);
    QCOMPARE(outcome.done, qint64(stream.size()));
    QCOMPARE(outcome.total, qint64(stream.size()));
    const QStringList expected =
        QStringList{"Create server for listen to client...\n", "Client 127.0.0.1 is connected\n"}
        << lines << "Flush and wait for disconnect from client 127.0.0.1...\n"
        << "Client is disconnected\n";
    QCOMPARE(outcome.log, expected);
}

void TestImageDispatch::waits_data()
{
    QTest::addColumn<int>("wait");
    QTest::addColumn<bool>("stopped"); // at 0.3 s, with the production limits
    QTest::addColumn<QString>("line");

    const QString stopped = QStringLiteral("is terminated!\n");
    QTest::newRow("listen while the port is taken")
        << int(Wait::Listen) << false << "Timeout for listen client!\n";
    QTest::newRow("no machine connects")
        << int(Wait::Connect) << false << "Timeout and no client is connected!\n";
    QTest::newRow("stop while no machine connects") << int(Wait::Connect) << true << stopped;
    QTest::newRow("machine keeps the connection open")
        << int(Wait::Close) << false << "Timeout and client remains connected!\n";
    QTest::newRow("stop while the machine keeps it open") << int(Wait::Close) << true << stopped;
    QTest::newRow("machine stops reading")
        << int(Wait::Read) << false << "Client 127.0.0.1 has taken no data for 60 seconds!\n";
    QTest::newRow("stop while the machine stops reading")
        << int(Wait::Read) << true << "send image process is terminated!\n";
}

// Each wait ends at its limit (a minute or half a minute, 0.6 s or 0.3 s here) or at a stop,
// retrying or sleeping between ticks, not in a tight loop.
void TestImageDispatch::waits()
{
    QFETCH(int, wait);
    QFETCH(bool, stopped);
    QFETCH(QString, line);

    if (!stopped)
        TransferLimits::setMsPerSecond(ShortMsPerSecond);
    QTcpServer other;
    QVERIFY(other.listen(Loopback, 0));
    const quint16 port = wait == int(Wait::Listen) ? other.serverPort() : freeLoopbackPort();
    const bool machineConnects = wait == int(Wait::Close) || wait == int(Wait::Read);
    // More than the kernel's buffers hold, for a machine that stops reading.
    const QByteArray stream = wait == int(Wait::Read)
                                  ? oneRunStream(16 * BlockSectors)
                                  : taggedImage().build(ImageBuilder::Rule::Dispatch);
    const QString name = imageFile(stream);
    MachineReader machine(port, Never, machineConnects);
    if (wait == int(Wait::Read))
        machine.stopReading();
    bool stop = false;
    const ProcessCpuClock cpuClock;
    QElapsedTimer timer;
    timer.start();
    QObject scope; // no stop arrives after this test
    if (stopped)
        QTimer::singleShot(300, Qt::PreciseTimer, &scope, [&stop] { stop = true; });
    const Outcome outcome = dispatch(port, sending(name), [&stop] { return stop; });
    const qint64 elapsed = timer.elapsed();
    const double cpu = cpuClock.elapsed();

    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.log.first(), QStringLiteral("Create server for listen to client...\n"));
    QCOMPARE(outcome.log.last(), line);
    QVERIFY2(elapsed >= (wait == int(Wait::Close) || stopped ? 300 : 600),
             QByteArray::number(elapsed));
    QVERIFY2(cpu < 0.25 * elapsed / 1000.0, QByteArray::number(cpu));
    if (wait == int(Wait::Listen))
        QCOMPARE(outcome.log.size(), 2);
    if (wait == int(Wait::Close)) // every byte went out all the same
        QTRY_COMPARE(machine.received, stream);
    if (wait == int(Wait::Connect)) {
        // The listener is gone: a machine connecting later is refused by the system.
        QTcpSocket late;
        late.connectToHost(Loopback, port);
        QTRY_COMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
    }
}

void TestImageDispatch::fails_data()
{
    QTest::addColumn<QByteArray>("file"); // a null array: no file at all
    QTest::addColumn<int>("firmwareSectors");
    QTest::addColumn<int>("stop");       // NoStop, StopInData, or the stop checks passed
    QTest::addColumn<qint64>("closeAt"); // the machine closes once it has this many bytes
    QTest::addColumn<QString>("line");   // the start of the last log line
    QTest::addColumn<int>("sent");       // what the machine got, -1: unchecked
    QTest::addColumn<qint64>("done");    // progress at the end, -1: unchecked

    const QByteArray good = taggedImage().build(ImageBuilder::Rule::Dispatch);
    ImageBuilder version1 = taggedImage();
    version1.version = 1;
    const int tableEnd = 408 + 2 * 17;
    const int tailAt = good.size() - 8;
    QList<E> entries{E::end(0, 50)};
    for (int i = 0; i < 50; ++i)
        entries.insert(i, E::run(i, 1));
    const QByteArray longTable = taggedImage(entries).build(ImageBuilder::Rule::Dispatch);
    const QByteArray blocks = oneRunStream(8 * BlockSectors);
    const QString image = QStringLiteral("send image process is terminated!\n");
    const QString firmware = QStringLiteral("send firmware process is terminated!\n");
    const qint64 firstBlock = 408 + 34 + BUFFER_SIZE;
    const auto row = [](const char *name, const QByteArray &file, int sectors, int stop,
                        const QString &line, int sent, qint64 done = -1, qint64 closeAt = Never) {
        QTest::newRow(name) << file << sectors << stop << closeAt << line << sent << done;
    };
    row("version 1", version1.build(ImageBuilder::Rule::Dispatch), -1, NoStop,
        "Image file version is not correct!\n", 0);
    row("data cut short", good.left(tableEnd + 1000), -1, NoStop,
        "Unable to read image file at position " + QString::number(tableEnd + 1000) + "!\n",
        tableEnd);
    row("wrong tail token", good.left(tailAt) + QByteArray(8, '\0'), -1, NoStop,
        "Image tail token is not correct!\n", tailAt);
    row("firmware file missing", QByteArray(), 4, NoStop,
        "Unable to open firmware file " + QDir::current().absoluteFilePath("dispatch.img") + " !\n",
        0);
    // An image stops after its fourth entry, a firmware stream at its first check, after its
    // first entry; in the data, both after the first block.
    row("stop in an image's table", longTable, -1, 3, image, 408 + 4 * 17);
    row("stop in a firmware's table", longTable, 100, 0, firmware, 408 + 17);
    row("stop in an image's data", blocks, -1, StopInData, image, -1, firstBlock);
    row("stop in a firmware's data", blocks, 8 * BlockSectors, StopInData, firmware, -1,
        firstBlock);
    // Without the SIGPIPE of a closed connection, which would end the console.
    row("machine goes away mid-stream", oneRunStream(16 * BlockSectors), -1, NoStop,
        "Unable to write scoket with image file position ", -1, -1, BUFFER_SIZE);
}

void TestImageDispatch::fails()
{
    QFETCH(QByteArray, file);
    QFETCH(int, firmwareSectors);
    QFETCH(int, stop);
    QFETCH(qint64, closeAt);
    QFETCH(QString, line);
    QFETCH(int, sent);
    QFETCH(qint64, done);

    const QString name = imageFile(file);
    QVERIFY(!file.isNull() || QFile::remove(name));
    const quint16 port = freeLoopbackPort();
    MachineReader machine(port, closeAt);
    bool streaming = false;
    bool stopNow = false;
    int checks = 0;
    const Outcome outcome = dispatch(
        port,
        [&](ImageDispatch &d, QTcpSocket &s) {
            streaming = true;
            return sending(name, firmwareSectors)(d, s);
        },
        [&] { return stop == StopInData ? stopNow : stop >= 0 && streaming && ++checks > stop; },
        [&stopNow](qint64 bytes) { stopNow = stopNow || bytes > BUFFER_SIZE; });
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.log.last().startsWith(line), qPrintable(outcome.log.last()));
    if (sent >= 0)
        QTRY_COMPARE(machine.received.size(), sent);
    if (sent >= 0 && firmwareSectors < 0)
        QCOMPARE(machine.received, file.left(sent));
    if (done >= 0)
        QCOMPARE(outcome.done, done);
    QVERIFY(file.isNull() || outcome.done < file.size());
}

TARN_TEST_MAIN(TestImageDispatch)
#include "tst_imagedispatch.moc"
