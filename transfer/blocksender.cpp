#include "transfer/blocksender.h"

#include "transfer/transferlimits.h"
#include "transfer/transferwait.h"

#include <QFile>
#include <QTcpSocket>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/sendfile.h>
#include <sys/stat.h>

BlockSender::BlockSender(QTcpSocket &socket, QFile &file, char *buffer,
                         std::function<bool()> stopped)
    : socket(socket), file(file), buffer(buffer), stopped(std::move(stopped)),
      socketFd(int(socket.socketDescriptor()))
{
    sinceAccepted.start();
}

void BlockSender::setSendFile(SendFile sendFile)
{
    this->sendFile = std::move(sendFile);
}

qint64 BlockSender::kernelSendFile(int socketFd, int fileFd, qint64 *offset, qint64 count)
{
    // Held back for the call, and taken away when this call raised it; the error says enough.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &pipe, &before);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

    off_t at = off_t(*offset);
    const ssize_t sent = ::sendfile(socketFd, fileFd, &at, size_t(count));
    const int error = errno;
    if (sent < 0 && error == EPIPE && !wasPending) {
        const timespec noWait{};
        sigtimedwait(&pipe, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    *offset = qint64(at);
    errno = error;
    return sent;
}

BlockSender::Outcome BlockSender::send(qint64 offset, int bytes, Shortfall shortfall)
{
    // sendfile writes past Qt: nothing Qt still holds may come after it.
    Outcome outcome = drain();
    if (outcome != Outcome::Sent)
        return outcome;
    const qint64 end = offset + bytes;
    struct stat status = {};
    if (shortfall == Shortfall::Fails &&
        (fstat(file.handle(), &status) != 0 || status.st_size < end))
        return Outcome::ReadFailed;

    qint64 at = offset;
    if (zeroCopy)
        outcome = sendZeroCopy(at, end, shortfall);
    if (outcome == Outcome::Sent && at < end)
        outcome = sendBuffered(at, end, shortfall);
    return outcome;
}

// Leaves at short of end when the file ends first (zeros are due) or sendfile is refused.
BlockSender::Outcome BlockSender::sendZeroCopy(qint64 &at, qint64 end, Shortfall shortfall)
{
    while (at < end) {
        // Looked at anew after every wait: Qt closes the descriptor when the machine goes, and
        // the number may then name another file.
        if (!isConnected())
            return Outcome::WriteFailed;
        const qint64 sent = sendFile(socketFd, file.handle(), &at, end - at);
        if (sent > 0) {
            sinceAccepted.restart();
            continue;
        }
        if (sent == 0)
            return shortfall == Shortfall::Fails ? Outcome::ReadFailed : Outcome::Sent;
        switch (errno) {
        case EINTR:
            break;
        case EAGAIN: {
            const Outcome waited = waitWritable();
            if (waited != Outcome::Sent)
                return waited;
            break;
        }
        case EINVAL:
        case ENOSYS:
        case EOPNOTSUPP:
            zeroCopy = false;
            return Outcome::Sent;
        case EIO:
            return Outcome::ReadFailed;
        default:
            return Outcome::WriteFailed;
        }
    }
    return Outcome::Sent;
}

BlockSender::Outcome BlockSender::sendBuffered(qint64 at, qint64 end, Shortfall shortfall)
{
    const qint64 len = end - at;
    if (!file.seek(at))
        return Outcome::ReadFailed;
    const qint64 got = file.read(buffer, len);
    if (got < 0 || (got < len && shortfall == Shortfall::Fails))
        return Outcome::ReadFailed;
    std::memset(buffer + got, 0, size_t(len - got));
    return write(buffer, len);
}

BlockSender::Outcome BlockSender::write(const char *data, qint64 len)
{
    // Unbuffered: what the kernel takes goes at once, only the rest waits in the socket.
    if (!isConnected() || socket.write(data, len) != len)
        return Outcome::WriteFailed;
    return drain();
}

BlockSender::Outcome BlockSender::drain()
{
    TransferWait wait;
    qint64 queued = socket.bytesToWrite();
    while (queued > 0) {
        Outcome why = Outcome::Sent;
        if (interrupted(why))
            return why;
        wait.sleep();
        const qint64 left = socket.bytesToWrite();
        if (left < queued)
            sinceAccepted.restart();
        queued = left;
    }
    // Qt drops its queue with the connection.
    return isConnected() ? Outcome::Sent : Outcome::WriteFailed;
}

BlockSender::Outcome BlockSender::waitWritable()
{
    if (!writable) {
        writable = std::make_unique<QSocketNotifier>(socketFd, QSocketNotifier::Write);
        QObject::connect(writable.get(), &QSocketNotifier::activated, writable.get(), [this] {
            isWritable = true;
            // Watched only while a wait needs it: the socket's own notifier serves Qt's queue.
            writable->setEnabled(false);
        });
    }
    isWritable = false;
    writable->setEnabled(true);
    TransferWait wait;
    Outcome why = Outcome::Sent;
    while (!isWritable && !interrupted(why))
        wait.sleep();
    writable->setEnabled(false);
    return isWritable ? Outcome::Sent : why;
}

bool BlockSender::isConnected() const
{
    return socket.state() == QAbstractSocket::ConnectedState &&
           socket.socketDescriptor() == socketFd;
}

bool BlockSender::interrupted(Outcome &why) const
{
    if (!isConnected())
        why = Outcome::WriteFailed;
    else if (stopped())
        why = Outcome::Stopped;
    else if (sinceAccepted.elapsed() > TransferLimits::scaled(TransferLimits::SendStallMs))
        why = Outcome::Stalled;
    else
        return false;
    return true;
}
