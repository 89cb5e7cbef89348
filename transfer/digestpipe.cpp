#include "transfer/digestpipe.h"

#include "image/imagefile.h"

#include <QMutexLocker>
#include <QThread>

#include <functional>

DigestPipe::DigestPipe() : blocks(new char[qint64(Blocks) * BUFFER_SIZE])
{
    thread.reset(QThread::create([this] { hashAll(); }));
    thread->start();
}

DigestPipe::~DigestPipe()
{
    stop();
}

char *DigestPipe::nextBlock()
{
    const int block = next;
    next = (next + 1) % Blocks;
    QMutexLocker lock(&mutex);
    while (hashed < blockQueuedTo[block])
        changed.wait(&mutex);
    return blocks.get() + qint64(block) * BUFFER_SIZE;
}

void DigestPipe::add(const char *data, qint64 len)
{
    const char *const first = blocks.get();
    const bool inBlocks = std::greater_equal<>()(data, first) &&
                          std::less<>()(data, first + qint64(Blocks) * BUFFER_SIZE);
    QMutexLocker lock(&mutex);
    if (inBlocks) {
        spans.enqueue({data, len});
        queued += len;
        blockQueuedTo[(data - first) / BUFFER_SIZE] = queued;
        changed.wakeAll();
        return;
    }
    while (hashed < queued)
        changed.wait(&mutex);
    lock.unlock();
    digest.add(data, len);
}

QByteArray DigestPipe::finish()
{
    stop();
    return digest.hex();
}

void DigestPipe::stop()
{
    {
        QMutexLocker lock(&mutex);
        closing = true;
        changed.wakeAll();
    }
    thread->wait();
}

void DigestPipe::hashAll()
{
    QMutexLocker lock(&mutex);
    for (;;) {
        while (spans.isEmpty() && !closing)
            changed.wait(&mutex);
        if (spans.isEmpty())
            return;
        const Span span = spans.dequeue();
        lock.unlock();
        digest.add(span.data, span.len);
        lock.relock();
        hashed += span.len;
        changed.wakeAll();
    }
}
