#include "imageload.h" // beside it, so that lupdate finds the translation context

#include "image/brieflogtable.h"
#include "image/imagefile.h"
#include "image/sha256digest.h"
#include "image/sidecar.h"
#include "transfer/blockreceiver.h"
#include "transfer/transferlimits.h"
#include "transfer/transferwait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>

#include <memory>
#include <new>

namespace {
const QLatin1String ImageSuffix(".img");
} // namespace

ImageLoad::ImageLoad(Request request, LogSink log, StopQuery stopped)
    : request(std::move(request)), log(std::move(log)), stopped(std::move(stopped))
{
    this->request.deviceName.remove(QLatin1Char('*'));
}

ImageLoad::~ImageLoad() = default;

void ImageLoad::setProgress(Progress progress)
{
    this->progress = std::move(progress);
}

QString ImageLoad::commandLine() const
{
    const QString port = QString::number(request.port);
    if (request.kind == Kind::StoredFile)
        return QStringLiteral("C %1 %2 %3 %4 %5\n")
            .arg(request.deviceName, port, QStringLiteral("0"), QStringLiteral("1"),
                 request.storedFileName);
    return QStringLiteral("C %1 %2 %3\n")
        .arg(request.deviceName, port, request.isFull ? QStringLiteral("1") : QStringLiteral("0"));
}

QString ImageLoad::targetPathFor(Kind kind, const QString &chosen)
{
    if (kind == Kind::DeviceImage && !chosen.endsWith(ImageSuffix))
        return chosen + ImageSuffix;
    return chosen;
}

QStringList ImageLoad::closingLines(Kind kind, Result result, bool stopRaised)
{
    const bool device = kind == Kind::DeviceImage;
    if (result == Result::Succeeded)
        return {device ? tr("load image has succeed\n") : tr("load image file has succeed\n")};
    QStringList lines;
    if (stopRaised)
        lines << tr("is terminated!\n");
    lines << (device ? tr("load image has failed!\n") : tr("load image file has failed!\n"));
    return lines;
}

ImageLoad::Result ImageLoad::run(const CommandSink &sendCommand, int connectLimitMs)
{
    sendCommand(commandLine());
    log(tr("Ask client %1 device %2 for sending image to server by port %3 and save with name "
           "%4\n")
            .arg(request.address, request.deviceName, QString::number(request.port),
                 request.targetPath));

    QTcpSocket socket;
    switch (connectToMachine(socket, connectLimitMs)) {
    case Connect::Stopped:
        return Result::Stopped;
    case Connect::TimedOut:
        return Result::Failed;
    case Connect::Connected:
        break;
    }

    // Unbuffered: every section reaches the disk, or fails, at the step that wrote it.
    QFile file(request.targetPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return failed(tr("Unable to open %1 for writting!\n").arg(request.targetPath));
    // The image is overwritten from here: an older sidecar no longer describes it.
    QFile::remove(Sidecar::pathFor(request.targetPath));
    if (request.sidecar)
        digest = std::make_unique<Sha256Digest>();
    const Result result = receive(socket, file);
    if (result == Result::Succeeded && digest)
        storeSidecar();
    return result;
}

void ImageLoad::storeSidecar()
{
    // Its flush may wait for the disk to take much of the image first.
    bool written = false;
    const QByteArray hex = digest->hex();
    TransferWait::aside([&] { written = Sidecar::write(request.targetPath, hex); });
    if (!written)
        log(tr("Unable to write the checksum file %1!\n")
                .arg(Sidecar::pathFor(request.targetPath)));
}

ImageLoad::Connect ImageLoad::connectToMachine(QTcpSocket &socket, int connectLimitMs)
{
    // Unbuffered: the socket holds nothing the load has not taken, however fast the machine
    // sends, and blocks go from the kernel straight into the block buffer.
    const QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Unbuffered;
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer sinceAttempt;
    socket.abort();
    socket.connectToHost(request.address, request.port, mode);
    sinceAttempt.start();
    log(tr("connect state %1 \n").arg(int(socket.state())));

    TransferWait wait;
    while (socket.state() != QAbstractSocket::ConnectedState) {
        if (stopped())
            return Connect::Stopped;
        if (timer.elapsed() > TransferLimits::scaled(connectLimitMs)) {
            log(tr("timeoue when try to connect client %1(%2)!\n")
                    .arg(request.address, QString::number(int(socket.state()))));
            return Connect::TimedOut;
        }
        wait.sleep();
        // A machine not yet listening refuses at once: try again on the next tick, not in a
        // tight loop.
        if (socket.state() == QAbstractSocket::UnconnectedState &&
            sinceAttempt.elapsed() >= TransferLimits::PollMs) {
            socket.abort();
            socket.connectToHost(request.address, request.port, mode);
            sinceAttempt.restart();
        }
    }
    log(tr("connect state %1 \n").arg(int(socket.state())));
    return Connect::Connected;
}

ImageLoad::Result ImageLoad::receive(QTcpSocket &socket, QFile &file)
{
    char headBytes[ImageHead::Size];
    if (!readSocket(socket, headBytes, ImageHead::Size))
        return readFailed(tr("read socket image head failed!\n"));
    const ImageHead head = ImageHead::decode(headBytes);
    switch (head.check()) {
    case ImageHead::Check::BadToken:
        return failed(tr("Image file token is not correct!\n"));
    case ImageHead::Check::BadVersion:
        return failed(tr("Image file version is not correct!\n"));
    case ImageHead::Check::Ok:
        break;
    }
    log(tr("Image Disk Size %1 \n").arg(head.ulDevCap));

    buffer.reset(new (
        std::nothrow) char[qint64(BlockReceiver::bufferBlocks(request.sidecar)) * BUFFER_SIZE]);
    if (!buffer)
        return failed(tr("malloc buffer memory failed!\n"));
    BriefLogTable table;
    if (!table.allocate())
        return failed(tr("new log table memory failed!\n"));

    if (!storeSection(file, headBytes, ImageHead::Size))
        return writeFailed(tr("write image file head failed!\n"));
    advance(ImageHead::Size);

    Result result = receiveTable(socket, file, table);
    if (result != Result::Succeeded)
        return result;
    total = imageStreamBytes(head, table.size(), table.loadDataBytes());
    advance(0);

    result = receiveData(socket, file, table);
    if (result != Result::Succeeded || !head.hasTail())
        return result;
    return receiveTail(socket, file);
}

ImageLoad::Result ImageLoad::receiveTable(QTcpSocket &socket, QFile &file, BriefLogTable &table)
{
    if (request.kind == Kind::StoredFile)
        log(tr("start write log table ...\n"));
    char bytes[SStripInLogDiskMy::Size];
    while (!table.isComplete()) {
        const int index = table.size();
        if (stopped())
            return Result::Stopped;
        if (!readSocket(socket, bytes, SStripInLogDiskMy::Size))
            return readFailed(tr("read socket log table(%1)failed!\n").arg(index));
        if (!storeSection(file, bytes, SStripInLogDiskMy::Size))
            return writeFailed(tr("write log table(%1)failed!\n").arg(index));
        done += SStripInLogDiskMy::Size;
        const SStripInLogDiskMy entry = SStripInLogDiskMy::decode(bytes);
        table.append(entry);
        if (entry.isEnd())
            break;
        TransferWait::pass();
    }
    return Result::Succeeded;
}

ImageLoad::Result ImageLoad::receiveData(QTcpSocket &socket, QFile &file,
                                         const BriefLogTable &table)
{
    if (request.kind == Kind::StoredFile)
        log(tr("start write data ...\n"));
    BlockReceiver::Plan plan;
    plan.socket = socket.socketDescriptor();
    for (int i = 0; i < table.runCount(); ++i)
        plan.runs << table.at(i).loadSectors();
    plan.stallMs = TransferLimits::scaled(TransferLimits::ReadStallMs);
    // The socket is unbuffered: after the table its notifier fires once more at most, without
    // reading, so the receiver's thread is its only reader until the tail.
    BlockReceiver receiver(std::move(plan), file, buffer.get(), digest.get());
    receiver.start();
    const qint64 dataStart = done;
    TransferWait wait;
    for (;;) {
        // The outcome first: once it is in, the count of stored blocks is final.
        const BlockReceiver::Outcome outcome = receiver.outcome();
        const qint64 now = dataStart + receiver.stored();
        if (now != done)
            advance(now - done);
        switch (outcome) {
        case BlockReceiver::Outcome::Running:
            break;
        case BlockReceiver::Outcome::Stored:
            return stopped() ? Result::Stopped : Result::Succeeded;
        case BlockReceiver::Outcome::ReadFailed:
            return readFailed(tr("read socket data failed!\n"));
        case BlockReceiver::Outcome::WriteFailed:
            return writeFailed(tr("write image data failed!\n"));
        case BlockReceiver::Outcome::Stopped:
            return Result::Stopped;
        }
        // Ends the receiver as it goes, and waits no more: in another event, the machine's
        // Client may go.
        if (stopped())
            return Result::Stopped;
        wait.sleep();
    }
}

ImageLoad::Result ImageLoad::receiveTail(QTcpSocket &socket, QFile &file)
{
    char bytes[ImageTail::Size];
    if (!readSocket(socket, bytes, ImageTail::Size))
        return readFailed(tr("read socket image tail failed!\n"));
    const ImageTail tail = ImageTail::decode(bytes);
    if (!tail.isTokenValid())
        return failed(tr("Image tail token is not correct!\n"));
    log(tr("image checksum is 0x%1\n").arg(checksumHex(tail.checksum)));
    if (!storeSection(file, bytes, ImageTail::Size))
        return writeFailed(tr("write image file tail failed!\n"));
    advance(ImageTail::Size);
    return Result::Succeeded;
}

bool ImageLoad::storeSection(QFile &file, const char *data, int len)
{
    const bool ok = request.kind == Kind::StoredFile ? write(file, data, len, log)
                                                     : file.write(data, len) == len;
    if (ok && digest)
        digest->add(data, len);
    return ok;
}

bool ImageLoad::readSocket(QTcpSocket &socket, char *buf, int len)
{
    return read(socket, buf, len, stopped);
}

ImageLoad::Result ImageLoad::readFailed(const QString &line)
{
    // A read also gives up when a stop comes while it waits: that is no read error.
    if (stopped())
        return Result::Stopped;
    log(line);
    log(tr("read from %1 cause error!\n").arg(request.address));
    return Result::Failed;
}

ImageLoad::Result ImageLoad::writeFailed(const QString &line)
{
    log(line);
    log(tr("%1 write error!\n").arg(request.targetPath));
    return Result::Failed;
}

ImageLoad::Result ImageLoad::failed(const QString &line)
{
    log(line);
    return Result::Failed;
}

void ImageLoad::advance(qint64 bytes)
{
    done += bytes;
    if (progress)
        progress(done, total);
}

bool ImageLoad::read(QTcpSocket &socket, char *buf, int len, const StopQuery &stopped)
{
    TransferWait wait;
    QElapsedTimer sinceByte;
    sinceByte.start();
    for (int got = 0; got < len;) {
        const qint64 n = socket.read(buf + got, len - got);
        if (n < 0)
            return false;
        if (n > 0) {
            got += int(n);
            sinceByte.restart();
            continue;
        }
        if ((stopped && stopped()) ||
            sinceByte.elapsed() > TransferLimits::scaled(TransferLimits::ReadStallMs))
            return false;
        wait.sleep();
    }
    return true;
}

bool ImageLoad::write(QFile &file, const char *data, int len, const LogSink &log)
{
    QElapsedTimer timer;
    timer.start();
    while (len > 0) {
        const qint64 n = file.write(data, len);
        if (n <= 0)
            return false;
        data += n;
        len -= int(n);
        while (file.bytesToWrite() > TransferLimits::FileBacklogBytes) {
            if (timer.elapsed() > TransferLimits::scaled(TransferLimits::FileBacklogMs)) {
                log(tr("Timeout when writing \n"));
                return false;
            }
            if (!file.flush())
                return false;
        }
        timer.restart();
    }
    return true;
}
