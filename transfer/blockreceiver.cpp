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

int BlockReceiver::bufferBlocks(bool digesting)
{
    return digesting ? MaxBlocks : 1;
}

BlockReceiver::BlockReceiver(Plan plan, QFile &file, char *buffer, Sha256Digest *digest)
    : plan(std::move(plan)), file(file), buffer(buffer), digest(digest),
      blocks(bufferBlocks(digest)), waiter(QAbstractEventDispatcher::instance())
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
    std::unique_ptr<QThread> digester;
    if (digest) {
        digester.reset(QThread::create([this] { digestAll(); }));
        digester->start();
    }
    const Outcome outcome = receiveBlocks();
    // The digest takes what it was handed before it ends.
    if (digester) {
        {
            QMutexLocker lock(&mutex);
            closing = true;
            changed.wakeAll();
        }
        digester->wait();
    }
    result.store(outcome);
    if (waiter)
        waiter->wakeUp();
}

BlockReceiver::Outcome BlockReceiver::receiveBlocks()
{
    qint64 block = 0;
    for (const qint64 run : plan.runs) {
        for (qint64 left = run; left > 0;) {
            const int sectors = nextBlockSectors(left);
            const int bytes = sectors * SectorSize;
            const int slot = int(block % blocks);
            waitDigested(block - blocks + 1);
            const Outcome outcome = receiveBlock(buffer + qint64(slot) * BUFFER_SIZE, bytes);
            if (outcome != Outcome::Stored)
                return outcome;
            left -= sectors;
            ++block;
            if (digest) {
                QMutexLocker lock(&mutex);
                handedBytes[slot] = bytes;
                handed = block;
                changed.wakeAll();
            }
            storedBytes.fetch_add(bytes);
        }
    }
    return Outcome::Stored;
}

void BlockReceiver::waitDigested(qint64 count)
{
    if (!digest)
        return;
    QMutexLocker lock(&mutex);
    while (digested < count)
        changed.wait(&mutex);
}

void BlockReceiver::digestAll()
{
    QMutexLocker lock(&mutex);
    for (;;) {
        while (digested == handed && !closing)
            changed.wait(&mutex);
        if (digested == handed)
            return;
        const int slot = int(digested % blocks);
        const int bytes = handedBytes[slot];
        lock.unlock();
        digest->add(buffer + qint64(slot) * BUFFER_SIZE, bytes);
        lock.relock();
        ++digested;
        changed.wakeAll();
    }
}

BlockReceiver::Outcome BlockReceiver::receiveBlock(char *block, int bytes)
{
    const qint64 blockStart = file.pos();
    const int fd = int(plan.socket);
    QElapsedTimer sinceByte;
    sinceByte.start();
    for (int got = 0; got < bytes;) {
        if (stopping.load(std::memory_order_relaxed))
            return takeBack(blockStart, got, Outcome::Stopped);
        const ssize_t n = ::recv(fd, block + got, size_t(bytes - got), MSG_DONTWAIT);
        if (n > 0) {
            if (!writeAll(block + got, n))
                return Outcome::WriteFailed;
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
