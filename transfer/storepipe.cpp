#include "transfer/storepipe.h"

#include "image/imagefile.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QMutexLocker>
#include <QThread>

#include <new>

StorePipe::StorePipe(QFile &file, bool digest)
    : file(file), digest(digest ? std::make_unique<Sha256Digest>() : nullptr),
      waiter(QAbstractEventDispatcher::instance()),
      blocks(new (std::nothrow) char[qint64(Blocks) * BUFFER_SIZE])
{
    thread.reset(QThread::create([this] { storeAll(); }));
    thread->start();
}

StorePipe::~StorePipe()
{
    {
        QMutexLocker lock(&mutex);
        closing = true;
        changed.wakeAll();
    }
    thread->wait();
}

bool StorePipe::isValid() const
{
    return blocks != nullptr;
}

char *StorePipe::freeBlock()
{
    QMutexLocker lock(&mutex);
    if (written < blockQueuedTo[next])
        return nullptr;
    char *const block = blocks.get() + qint64(next) * BUFFER_SIZE;
    next = (next + 1) % Blocks;
    return block;
}

void StorePipe::queue(const char *data, qint64 len)
{
    QMutexLocker lock(&mutex);
    spans.enqueue({data, len});
    queued += len;
    blockQueuedTo[(data - blocks.get()) / BUFFER_SIZE] = queued;
    changed.wakeAll();
}

bool StorePipe::isIdle()
{
    QMutexLocker lock(&mutex);
    return written == queued;
}

bool StorePipe::hasFailed()
{
    QMutexLocker lock(&mutex);
    return failed;
}

void StorePipe::digestWritten(const char *data, qint64 len)
{
    if (digest)
        digest->add(data, len);
}

QByteArray StorePipe::digestHex()
{
    return digest ? digest->hex() : QByteArray();
}

void StorePipe::storeAll()
{
    QMutexLocker lock(&mutex);
    for (;;) {
        while (spans.isEmpty() && !closing)
            changed.wait(&mutex);
        if (spans.isEmpty())
            return;
        const Span span = spans.dequeue();
        const bool skip = failed;
        lock.unlock();
        const bool ok = skip || write(span);
        lock.relock();
        failed = failed || !ok;
        written += span.len;
        if (waiter)
            waiter->wakeUp();
    }
}

bool StorePipe::write(const Span &span)
{
    for (qint64 at = 0; at < span.len;) {
        const qint64 n = file.write(span.data + at, span.len - at);
        if (n <= 0)
            return false;
        at += n;
    }
    if (digest)
        digest->add(span.data, span.len);
    return true;
}
