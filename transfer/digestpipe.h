#pragma once

#include "image/sha256digest.h"

#include <QByteArray>
#include <QMutex>
#include <QWaitCondition>

#include <memory>

class QThread;

// The SHA-256 of a load, computed on a second thread while the load goes on reading the socket:
// add() copies what was written into a bounded ring and returns, the thread hashes out of it.
// The load waits only while the ring is full, so memory stays at RingBytes however large the
// image.
class DigestPipe
{
public:
    static constexpr int RingBytes = 4 * 1024 * 1024;

    DigestPipe();
    ~DigestPipe();
    DigestPipe(const DigestPipe &) = delete;
    DigestPipe &operator=(const DigestPipe &) = delete;

    void add(const char *data, qint64 len);
    // Waits until everything added is hashed; the digest in lower-case hexadecimal. Once only.
    QByteArray finish();

private:
    void hashAll();
    void stop();

    std::unique_ptr<char[]> ring;
    QMutex mutex;
    QWaitCondition changed;
    // Counted from the start, never wrapped: the ring holds added - hashed bytes.
    qint64 added = 0;
    qint64 hashed = 0;
    bool closing = false;
    Sha256Digest digest; // the thread's alone until it has ended
    std::unique_ptr<QThread> thread;
};
