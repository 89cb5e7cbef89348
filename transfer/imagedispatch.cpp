#include "imagedispatch.h" // beside it, so that lupdate finds the translation context

#include "image/brieflogtable.h"
#include "image/imagefile.h"
#include "transfer/transferlimits.h"
#include "transfer/transferlistener.h"
#include "transfer/transferwait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <new>

namespace {
// The accepted peer as text, kept on the socket: Qt forgets the address once the machine has
// closed, and the closing wait still names it.
const char PeerTextProperty[] = "transferPeerText";
constexpr int FirmwareEntries = 2;
constexpr int DiscardBytes = 4096;

QString peerText(const QTcpSocket &socket)
{
    const QVariant kept = socket.property(PeerTextProperty);
    return kept.isValid() ? kept.toString() : socket.peerAddress().toString();
}
} // namespace

ImageDispatch::ImageDispatch(LogSink log, StopQuery stopped)
    : log(std::move(log)), stopped(std::move(stopped))
{
}

void ImageDispatch::setProgress(Progress progress)
{
    this->progress = std::move(progress);
}

void ImageDispatch::setPeerFilter(PeerFilter filter)
{
    peerFilter = std::move(filter);
}

void ImageDispatch::setListenAddress(const QHostAddress &address)
{
    listenAddress = address;
}

void ImageDispatch::setSendFile(BlockSender::SendFile sendFile)
{
    this->sendFile = std::move(sendFile);
}

bool ImageDispatch::isMachineAddress(const QHostAddress &peer, const QString &address)
{
    return QHostAddress(address).isEqual(peer, QHostAddress::ConvertV4MappedToIPv4);
}

QTcpServer *ImageDispatch::createServerAndWaitConnection(quint16 port, QTcpSocket *&clientSocket,
                                                         int timeoutSec)
{
    clientSocket = nullptr;
    log(tr("Create server for listen to client...\n"));
    std::unique_ptr<QTcpServer> listener(new TransferListener);
    const qint64 limitMs = TransferLimits::scaled(timeoutSec * 1000);
    TransferWait wait;
    QElapsedTimer timer;
    timer.start();
    while (!listener->listen(listenAddress, port)) {
        if (givesUp(timer, limitMs, tr("Timeout for listen client!\n")))
            return nullptr;
        wait.sleep();
    }

    timer.restart();
    for (;;) {
        if (QTcpSocket *socket = takeMachine(*listener)) {
            // Later connections wait in the backlog and are never served.
            listener->pauseAccepting();
            const QString peer = socket->peerAddress().toString();
            socket->setProperty(PeerTextProperty, peer);
            // Machines send nothing here; whatever comes is dropped so it cannot pile up.
            QObject::connect(socket, &QIODevice::readyRead, socket, [socket] {
                char scratch[DiscardBytes];
                while (socket->read(scratch, DiscardBytes) > 0) {
                }
            });
            log(tr("Client %1 is connected\n").arg(peer));
            clientSocket = socket;
            return listener.release();
        }
        if (givesUp(timer, limitMs, tr("Timeout and no client is connected!\n")))
            return nullptr;
        wait.sleep();
    }
}

bool ImageDispatch::givesUp(const QElapsedTimer &timer, qint64 limitMs, const QString &timeoutLine)
{
    if (timer.elapsed() > limitMs) {
        log(timeoutLine);
        return true;
    }
    if (stopped()) {
        log(tr("is terminated!\n"));
        return true;
    }
    return false;
}

QTcpSocket *ImageDispatch::takeMachine(QTcpServer &listener)
{
    while (QTcpSocket *socket = listener.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        if (!peerFilter || peerFilter(peer))
            return socket;
        log(tr("Refused transfer connection from %1\n").arg(peer.toString()));
        socket->abort();
        socket->deleteLater();
    }
    return nullptr;
}

bool ImageDispatch::waitClientDisconnected(QTcpSocket *clientSocket, int timeoutSec)
{
    log(tr("Flush and wait for disconnect from client %1...\n").arg(peerText(*clientSocket)));
    clientSocket->flush();
    const qint64 limitMs = TransferLimits::scaled(timeoutSec * 1000);
    TransferWait wait;
    QElapsedTimer timer;
    timer.start();
    while (clientSocket->state() != QAbstractSocket::UnconnectedState) {
        if (givesUp(timer, limitMs, tr("Timeout and client remains connected!\n")))
            return false;
        wait.sleep();
    }
    log(tr("Client is disconnected\n"));
    return true;
}

bool ImageDispatch::sendImage(QTcpSocket &socket, const QString &fileName)
{
    done = 0;
    total = 0;
    log(tr("Open image file %1 for sending to client.\n").arg(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failed(tr("Unable to open file %1!\n").arg(fileName));

    log(tr("Read and send file head.\n"));
    char headBytes[ImageHead::Size];
    if (file.read(headBytes, ImageHead::Size) != ImageHead::Size)
        return failed(tr("Failed to read image file head!\n"));
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
    if (!send(socket, headBytes, ImageHead::Size))
        return failed(tr("error writting image head!\n"));

    log(tr("Read and send brief log table.\n"));
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[BUFFER_SIZE]);
    if (!buffer)
        return failed(tr("malloc buffer memory failed!\n"));
    BriefLogTable table;
    if (!table.allocate())
        return failed(tr("new log table memory failed!\n"));
    if (!sendImageTable(socket, file, table))
        return false;
    total = imageStreamBytes(head, table.size(), table.dispatchDataBytes());
    report();

    const qint64 dataStart = file.pos();
    if (!sendImageData(socket, file, table, buffer.get()))
        return false;
    return !head.hasTail() || sendImageTail(socket, file, dataStart + table.dispatchDataBytes());
}

bool ImageDispatch::sendImageTable(QTcpSocket &socket, QFile &file, BriefLogTable &table)
{
    char bytes[SStripInLogDiskMy::Size];
    while (!table.isComplete()) {
        if (file.read(bytes, SStripInLogDiskMy::Size) != SStripInLogDiskMy::Size)
            return failed(
                tr("Unable to read logtable from image file at position %1\n").arg(file.pos()));
        if (!send(socket, bytes, SStripInLogDiskMy::Size))
            return failed(tr("erro writting log table to client!\n"));
        const SStripInLogDiskMy entry = SStripInLogDiskMy::decode(bytes);
        table.append(entry);
        if (entry.isEnd())
            break;
        TransferWait::pass();
        if (stopped())
            return failed(terminated(Stream::Image));
    }
    return true;
}

bool ImageDispatch::sendImageData(QTcpSocket &socket, QFile &file, const BriefLogTable &table,
                                  char *buffer)
{
    log(tr("Read and send image data data to client...\n"));
    BlockSender sender(socket, file, buffer, stopped);
    sender.setSendFile(sendFile);
    qint64 position = file.pos();
    for (int i = 0; i < table.runCount(); ++i) {
        if (!sendBlocks(sender, socket, file, position, table.at(i).dispatchSectors(),
                        Stream::Image))
            return false;
    }
    return true;
}

bool ImageDispatch::sendBlocks(BlockSender &sender, const QTcpSocket &socket, const QFile &file,
                               qint64 &position, qint64 sectors, Stream stream)
{
    // A firmware file's last sector is filled up past its end.
    const BlockSender::Shortfall shortfall = stream == Stream::Firmware
                                                 ? BlockSender::Shortfall::ZeroFilled
                                                 : BlockSender::Shortfall::Fails;
    for (qint64 left = sectors; left > 0;) {
        const int blockSectors = nextBlockSectors(left);
        const int bytes = blockSectors * SectorSize;
        const BlockSender::Outcome outcome = sender.send(position, bytes, shortfall);
        if (outcome != BlockSender::Outcome::Sent)
            return blockFailed(outcome, socket, file, stream, position, position + bytes);
        position += bytes;
        left -= blockSectors;
        done += bytes;
        report();
        if (stopped())
            return failed(terminated(stream));
        TransferWait::pass();
    }
    return true;
}

bool ImageDispatch::sendImageTail(QTcpSocket &socket, QFile &file, qint64 position)
{
    log(tr("Read and send tail to client.\n"));
    char bytes[ImageTail::Size];
    // The data went past the file's read position.
    if (!file.seek(position) || file.read(bytes, ImageTail::Size) != ImageTail::Size)
        return failed(tr("Failed to read image tail!\n"));
    const ImageTail tail = ImageTail::decode(bytes);
    if (!tail.isTokenValid())
        return failed(tr("Image tail token is not correct!\n"));
    log(tr("image checksum is 0x%1\n").arg(checksumHex(tail.checksum)));
    if (!send(socket, bytes, ImageTail::Size))
        return failed(tr("Failed to write image tail!\n"));
    report();
    return true;
}

bool ImageDispatch::sendFirmware(QTcpSocket &socket, const QString &fileName, qint64 size)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failed(tr("Unable to open firmware file %1 !\n").arg(fileName));
    const ImageHead head = ImageHead::built(0);
    done = 0;
    total = imageStreamBytes(head, FirmwareEntries, sectorBytes(size));

    log(tr("create and write firmware image head to client socket\n"));
    char headBytes[ImageHead::Size];
    head.encode(headBytes);
    if (!send(socket, headBytes, ImageHead::Size))
        return failed(tr("error writting firmware image head!\n"));

    log(tr("Create and write firmware brief log table to client socket\n"));
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[BUFFER_SIZE]);
    if (!buffer)
        return failed(tr("malloc buffer memory failed!\n"));
    const std::unique_ptr<char[]> entries(
        new (std::nothrow) char[FirmwareEntries * SStripInLogDiskMy::Size]);
    if (!entries)
        return failed(tr("new log table memory failed!\n"));
    SStripInLogDiskMy::run(0, size).encode(entries.get());
    SStripInLogDiskMy::end(size, size).encode(entries.get() + SStripInLogDiskMy::Size);
    for (int i = 0; i < FirmwareEntries; ++i) {
        if (!send(socket, entries.get() + i * SStripInLogDiskMy::Size, SStripInLogDiskMy::Size))
            return failed(tr("erro writting firmware log table!\n"));
        if (stopped())
            return failed(terminated(Stream::Firmware));
        TransferWait::pass();
    }
    report();

    log(tr("Writing firmware, size %1 bytes, to client socket...\n").arg(file.size()));
    return sendFirmwareData(socket, file, size, buffer.get());
}

bool ImageDispatch::sendFirmwareData(QTcpSocket &socket, QFile &file, qint64 size, char *buffer)
{
    BlockSender sender(socket, file, buffer, stopped);
    sender.setSendFile(sendFile);
    qint64 position = 0;
    return sendBlocks(sender, socket, file, position, size, Stream::Firmware);
}

bool ImageDispatch::send(QTcpSocket &socket, const char *data, qint64 len)
{
    if (socket.state() != QAbstractSocket::ConnectedState || socket.write(data, len) != len)
        return false;
    // Into the kernel now, as far as it takes it: what was sent before a failure still reaches
    // the machine when the listener and its connection are destroyed.
    socket.flush();
    done += len;
    return true;
}

bool ImageDispatch::blockFailed(BlockSender::Outcome outcome, const QTcpSocket &socket,
                                const QFile &file, Stream stream, qint64 start, qint64 end)
{
    // Positions as a sender that reads each block whole before writing it would give them.
    const bool firmware = stream == Stream::Firmware;
    const qint64 readTo = qMin(file.size(), end);
    switch (outcome) {
    case BlockSender::Outcome::ReadFailed:
        return failed(firmware ? tr("Unable to read firmware file at position %1!\n").arg(start)
                               : tr("Unable to read image file at position %1!\n").arg(readTo));
    case BlockSender::Outcome::WriteFailed:
        return failed(
            firmware ? tr("Unable to write scoket with firmware file position %1!\n").arg(readTo)
                     : tr("Unable to write scoket with image file position %1!\n").arg(end));
    case BlockSender::Outcome::Stalled:
        return failed(tr("Client %1 has taken no data for %2 seconds!\n")
                          .arg(peerText(socket))
                          .arg(TransferLimits::SendStallMs / 1000));
    case BlockSender::Outcome::Stopped:
        return failed(terminated(stream));
    case BlockSender::Outcome::Sent:
        break;
    }
    return true;
}

QString ImageDispatch::terminated(Stream stream)
{
    return stream == Stream::Firmware ? tr("send firmware process is terminated!\n")
                                      : tr("send image process is terminated!\n");
}

bool ImageDispatch::failed(const QString &line)
{
    log(line);
    return false;
}

void ImageDispatch::report()
{
    if (progress)
        progress(done, total);
}
