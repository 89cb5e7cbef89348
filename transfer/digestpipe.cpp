#include "transfer/digestpipe.h"

#include <QMutexLocker>
#include <QThread>

#include <cstring>

namespace {
// Hashed per pass of the thread, so that room comes back to the load in steps.
constexpr qint64 HashSliceBytes = 1024 * 1024;
} // namespace

DigestPipe::DigestPipe() : ring(new char[RingBytes])
{
    thread.reset(QThread::create([this] { hashAll(); }));
    thread->start();
}

DigestPipe::~DigestPipe()
{
    stop();
}

void DigestPipe::add(const char *data, qint64 len)
{
    while (len > 0) {
        qint64 at = 0;
        qint64 room = 0;
        {
            QMutexLocker lock(&mutex);
            while (added - hashed == RingBytes)
                changed.wait(&mutex);
            at = added % RingBytes;
            room = RingBytes - (added - hashed);
        }
        const qint64 n = qMin(len, qMin(room, RingBytes - at));
        std::memcpy(ring.get() + at, data, size_t(n));
        data += n;
        len -= n;
        QMutexLocker lock(&mutex);
        added += n;
        changed.wakeAll();
    }
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
    for (;;) {
        qint64 at = 0;
        qint64 len = 0;
        {
            QMutexLocker lock(&mutex);
            while (added == hashed && !closing)
                changed.wait(&mutex);
            if (added == hashed)
                return;
            at = hashed % RingBytes;
            len = qMin(added - hashed, qMin(RingBytes - at, HashSliceBytes));
        }
        digest.add(ring.get() + at, len);
        QMutexLocker lock(&mutex);
        hashed += len;
        changed.wakeAll();
    }
}
