#pragma once

#include "image/sha256digest.h"

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QWaitCondition>

#include <memory>

class QAbstractEventDispatcher;
class QFile;
class QThread;

// The data of a load on its way to the disk. The load receives its blocks into buffers of this
// pipe; a second thread writes what it is given to the file, in order, and digests it for the
// sidecar. A disk that holds a write back (memory reclaim, a slow stick, a file server) then
// holds back that thread, not the window, and hashing overlaps the socket reads. A buffer is
// free again only once written and digested: memory stays at Blocks buffers however large the
// image.
class StorePipe
{
public:
    static constexpr int Blocks = 4;

    // file is open for unbuffered writing; while anything is queued, the pipe alone writes to it.
    // The thread wakes the constructing thread's event loop whenever a piece is done.
    StorePipe(QFile &file, bool digest);
    // Writes what is still queued, then ends the thread.
    ~StorePipe();
    StorePipe(const StorePipe &) = delete;
    StorePipe &operator=(const StorePipe &) = delete;

    // False when the buffers could not be had.
    bool isValid() const;
    // The next buffer of BUFFER_SIZE bytes, or nullptr while what was queued from it is still on
    // its way: the caller waits in its event loop and asks again.
    char *freeBlock();
    // Queues bytes of a buffer of freeBlock(), to follow all queued before; they stay unchanged
    // until their buffer is handed out again. After a failed write nothing more is written.
    void queue(const char *data, qint64 len);
    // Everything queued is written, or given up after a failure.
    bool isIdle();
    bool hasFailed();
    // Bytes the caller wrote itself (head, table, tail) while the pipe was idle, for the digest.
    void digestWritten(const char *data, qint64 len);
    // The digest of everything written, in lower-case hexadecimal; once idle, and once only.
    QByteArray digestHex();

private:
    struct Span
    {
        const char *data;
        qint64 len;
    };
    void storeAll();
    bool write(const Span &span);

    QFile &file;
    std::unique_ptr<Sha256Digest> digest;
    QAbstractEventDispatcher *const waiter;
    std::unique_ptr<char[]> blocks;
    int next = 0;
    QMutex mutex;
    QWaitCondition changed;
    QQueue<Span> spans;
    // Counted from the start: a buffer is free once written reaches its mark.
    qint64 queued = 0;
    qint64 written = 0;
    qint64 blockQueuedTo[Blocks] = {};
    bool failed = false;
    bool closing = false;
    std::unique_ptr<QThread> thread;
};
