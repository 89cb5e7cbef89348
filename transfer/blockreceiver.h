#pragma once

#include <QMutex>
#include <QVector>
#include <QWaitCondition>
#include <QtGlobal>

#include <atomic>
#include <memory>

class QAbstractEventDispatcher;
class QFile;
class QThread;
class Sha256Digest;

// The data blocks of a load, taken from the socket into the file on a thread of their own, as a
// plain socket-to-file copy takes them: each piece is written the moment it is received, while
// still in the cache of the processor that received it. Whole blocks then go to the digest on a
// further thread, so that hashing, the slowest step, overlaps the receiving. The load's thread
// only waits in its event loop meanwhile, so the window stays live and a disk that holds a write
// back holds back these threads alone. A block that does not arrive whole is taken back, so the
// file holds whole blocks as if each had been written at once.
class BlockReceiver
{
public:
    enum class Outcome
    {
        Running,
        Stored,
        ReadFailed,
        WriteFailed,
        Stopped
    };

    struct Plan
    {
        qintptr socket = -1;  // connected and non-blocking; nobody else reads it meanwhile
        QVector<qint64> runs; // sectors of each run, in the order they come
        int stallMs = 0;      // no byte for this long ends the data as a read failure
    };

    // Blocks of BUFFER_SIZE in the buffer: with a digest, those still on their way to it.
    static int bufferBlocks(bool digesting);

    // buffer holds bufferBlocks() blocks. file is open for unbuffered writing where the data
    // starts; digest, if any, has had all bytes before it. Until finished, only the receiver's
    // threads touch them.
    BlockReceiver(Plan plan, QFile &file, char *buffer, Sha256Digest *digest);
    // Stops the thread at its next look, within TransferLimits::PollMs, and waits for it.
    ~BlockReceiver();
    BlockReceiver(const BlockReceiver &) = delete;
    BlockReceiver &operator=(const BlockReceiver &) = delete;

    // The thread wakes the event loop of the thread that made the receiver once it has finished.
    void start();
    Outcome outcome() const;
    // Bytes of the whole blocks stored so far; final once outcome() is no longer Running.
    qint64 stored() const;

private:
    static constexpr int MaxBlocks = 4;

    void receiveAll();
    Outcome receiveBlocks();
    Outcome receiveBlock(char *block, int bytes);
    // Waits until the digest has taken the first count blocks.
    void waitDigested(qint64 count);
    void digestAll();
    Outcome takeBack(qint64 blockStart, int got, Outcome outcome);
    bool writeAll(const char *data, qint64 len);

    const Plan plan;
    QFile &file;
    char *const buffer;
    Sha256Digest *const digest;
    const int blocks;
    QAbstractEventDispatcher *const waiter;
    QMutex mutex; // guards the digest's queue
    QWaitCondition changed;
    qint64 handed = 0; // blocks, counted from the first; block n lies in slot n % blocks
    qint64 digested = 0;
    int handedBytes[MaxBlocks] = {};
    bool closing = false;
    std::atomic<bool> stopping{false};
    std::atomic<qint64> storedBytes{0};
    std::atomic<Outcome> result{Outcome::Running};
    std::unique_ptr<QThread> thread;
};
