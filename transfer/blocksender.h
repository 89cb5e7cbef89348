#pragma once

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <functional>
#include <memory>

class QFile;
class QTcpSocket;

// Moves the sector data of a dispatch from the file into the machine's socket, one block at a
// time: with sendfile(2), straight from the page cache into the kernel's socket buffer, and
// through a buffer from the first refusal on (a file system or kernel without it). Every wait,
// for room in the socket or for Qt to pass on what it queued, sleeps in the event loop, so the
// window stays live, and ends at a stop, at a lost connection or when the machine has taken no
// byte for TransferLimits::SendStallMs.
class BlockSender
{
public:
    enum class Outcome
    {
        Sent,
        ReadFailed,
        WriteFailed,
        Stalled,
        Stopped
    };
    // What the file lacks at the end of a block: a failure, or zeros (a firmware file's last
    // sector).
    enum class Shortfall
    {
        Fails,
        ZeroFilled
    };
    // sendfile(2)'s contract, with the file offset passed in and advanced.
    using SendFile = std::function<qint64(int socketFd, int fileFd, qint64 *offset, qint64 count)>;

    // buffer holds a whole block, for the path without sendfile and for zeros.
    BlockSender(QTcpSocket &socket, QFile &file, char *buffer, std::function<bool()> stopped);

    // A test seam: refusals of sendfile without a file system that refuses.
    void setSendFile(SendFile sendFile);

    // Sends bytes [offset, offset + bytes) of the file; the block reaches the kernel whole
    // before this returns. With Fails, nothing of a block the file does not hold whole is sent.
    Outcome send(qint64 offset, int bytes, Shortfall shortfall);

    // sendfile(2), without the SIGPIPE a connection closed by the machine would raise.
    static qint64 kernelSendFile(int socketFd, int fileFd, qint64 *offset, qint64 count);

private:
    Outcome sendZeroCopy(qint64 &offset, qint64 end, Shortfall shortfall);
    Outcome sendBuffered(qint64 offset, qint64 end, Shortfall shortfall);
    Outcome write(const char *data, qint64 len);
    // Returns once the socket has handed everything it queued to the kernel.
    Outcome drain();
    Outcome waitWritable();
    bool isConnected() const;
    // Why a wait must end now, if it must.
    bool interrupted(Outcome &why) const;

    QTcpSocket &socket;
    QFile &file;
    char *buffer;
    std::function<bool()> stopped;
    SendFile sendFile = kernelSendFile;
    const int socketFd;
    // Made at the first wait, on a descriptor known to be open.
    std::unique_ptr<QSocketNotifier> writable;
    bool isWritable = false;
    bool zeroCopy = true;
    QElapsedTimer sinceAccepted;
};
