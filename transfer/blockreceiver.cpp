#include "transfer/blockreceiver.h"

#include "image/imagefile.h"
#include "image/sha256digest.h"
#include "transfer/transferlimits.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

BlockReceiver::BlockReceiver(Plan plan, QFile &file, char *buffer, Sha256Digest *digest)
    : plan(std::move(plan)), file(file), buffer(buffer), digest(digest),
      waiter(QAbstractEventDispatcher::instance())
{
}

BlockReceiver::~BlockReceiver()
{
    if (!thread)
        return;
    stopping.store(true);
    thread->wait();
}

void BlockReceiver::start()
{
    thread.reset(QThread::create([this] { receiveAll(); }));
    thread->start();
}

BlockReceiver::Outcome BlockReceiver::outcome() const
{
    return result.load();
}

qint64 BlockReceiver::stored() const
{
    return storedBytes.load();
}

void BlockReceiver::receiveAll()
{
    Outcome outcome = Outcome::Stored;
    for (int i = 0; i < plan.runs.size() && outcome == Outcome::Stored; ++i) {
        for (qint64 left = plan.runs.at(i); left > 0 && outcome == Outcome::Stored;) {
            const int sectors = nextBlockSectors(left);
            outcome = receiveBlock(sectors * SectorSize);
            if (outcome == Outcome::Stored) {
                left -= sectors;
                storedBytes.fetch_add(qint64(sectors) * SectorSize);
            }
        }
    }
    result.store(outcome);
    if (waiter)
        waiter->wakeUp();
}

BlockReceiver::Outcome BlockReceiver::receiveBlock(int bytes)
{
    const qint64 blockStart = file.pos();
    const int fd = int(plan.socket);
    QElapsedTimer sinceByte;
    sinceByte.start();
    for (int got = 0; got < bytes;) {
        if (stopping.load(std::memory_order_relaxed))
            return takeBack(blockStart, got, Outcome::Stopped);
        const ssize_t n = ::recv(fd, buffer + got, size_t(bytes - got), MSG_DONTWAIT);
        if (n > 0) {
            if (!writeAll(buffer + got, n))
                return Outcome::WriteFailed;
            if (digest)
                digest->add(buffer + got, n);
            got += int(n);
            sinceByte.restart();
            continue;
        }
        const bool waitable = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        if (!waitable || sinceByte.elapsed() > plan.stallMs)
            return takeBack(blockStart, got, Outcome::ReadFailed);
        pollfd readable{fd, POLLIN, 0};
        ::poll(&readable, 1, TransferLimits::PollMs);
    }
    return Outcome::Stored;
}

BlockReceiver::Outcome BlockReceiver::takeBack(qint64 blockStart, int got, Outcome outcome)
{
    if (got > 0)
        file.resize(blockStart);
    return outcome;
}

bool BlockReceiver::writeAll(const char *data, qint64 len)
{
    for (qint64 at = 0; at < len;) {
        const qint64 n = file.write(data + at, len - at);
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}
