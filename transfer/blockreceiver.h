#pragma once

#include <QVector>
#include <QtGlobal>

#include <atomic>
#include <memory>

class QAbstractEventDispatcher;
class QFile;
class QThread;
class Sha256Digest;

// The data blocks of a load, taken from the socket into the file on a thread of their own, as a
// plain socket-to-file copy takes them: each piece is written and digested the moment it is
// received, while still in the cache of the processor that received it. The load's thread only
// waits in its event loop meanwhile, so the window stays live and a disk that holds a write back
// holds back this thread alone. A block that does not arrive whole is taken back, so the file
// holds whole blocks as if each had been written at once.
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

    // buffer holds BUFFER_SIZE bytes. file is open for unbuffered writing where the data starts;
    // digest, if any, has had all bytes before it. Until finished, only the thread touches them.
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
    void receiveAll();
    Outcome receiveBlock(int bytes);
    Outcome takeBack(qint64 blockStart, int got, Outcome outcome);
    bool writeAll(const char *data, qint64 len);

    const Plan plan;
    QFile &file;
    char *const buffer;
    Sha256Digest *const digest;
    QAbstractEventDispatcher *const waiter;
    std::atomic<bool> stopping{false};
    std::atomic<qint64> storedBytes{0};
    std::atomic<Outcome> result{Outcome::Running};
    std::unique_ptr<QThread> thread;
};
