#pragma once

#include "image/sha256digest.h"

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QWaitCondition>

#include <memory>

class QThread;

// The SHA-256 of a load, computed on a second thread while the load goes on reading the socket.
// The load receives its data blocks into buffers of this pipe (nextBlock()); what it then adds
// from them is hashed on the thread where it lies, without a copy, so hashing overlaps the socket
// reads at the cost of the hashing alone. A buffer comes back only once hashed: memory stays at
// Blocks buffers however large the image.
class DigestPipe
{
public:
    static constexpr int Blocks = 4;

    DigestPipe();
    ~DigestPipe();
    DigestPipe(const DigestPipe &) = delete;
    DigestPipe &operator=(const DigestPipe &) = delete;

    // A buffer of BUFFER_SIZE bytes, to be left unchanged after add() until it is handed out
    // again; waits while the thread still hashes it.
    char *nextBlock();
    // Bytes that follow all added before. From a buffer of nextBlock() they are queued for the
    // thread; any others (head, table entries, tail: small) are hashed here once the queue is
    // empty, so the order holds.
    void add(const char *data, qint64 len);
    // Waits until everything added is hashed; the digest in lower-case hexadecimal. Once only.
    QByteArray finish();

private:
    struct Span
    {
        const char *data;
        qint64 len;
    };
    void hashAll();
    void stop();

    std::unique_ptr<char[]> blocks;
    int next = 0;
    QMutex mutex;
    QWaitCondition changed;
    QQueue<Span> spans;
    // Counted from the start: the thread is done with a buffer once hashed reaches its mark.
    qint64 queued = 0;
    qint64 hashed = 0;
    qint64 blockQueuedTo[Blocks] = {};
    bool closing = false;
    Sha256Digest digest; // the thread's while spans are queued, else the loader's
    std::unique_ptr<QThread> thread;
};
