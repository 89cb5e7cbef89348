#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BriefLogTable;
class QFile;
class QTcpSocket;
class Sha256Digest;

// Brings one image from a machine into a file on this computer: the request on the command
// connection, the connection to the machine's transfer port, and head, table, data and tail
// stored exactly as they arrive. Everything it says goes to the log sink in the words of the
// machine's Client; it never touches the Client itself, which may be gone before it returns.
class ImageLoad
{
    Q_DECLARE_TR_FUNCTIONS(Client)

public:
    enum class Kind
    {
        DeviceImage, // the machine images one of its devices as it reads it
        StoredFile   // the machine sends an image file it holds
    };
    enum class Result
    {
        Succeeded,
        Failed,
        Stopped
    };

    using LogSink = std::function<void(const QString &line)>;
    // True once the load must end: the operator's stop, or the machine's Client gone.
    using StopQuery = std::function<bool()>;
    // Bytes stored so far and the whole stream's length, 0 until the table has told it.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Writes one line on the machine's command connection and flushes it.
    using CommandSink = std::function<void(const QString &line)>;

    struct Request
    {
        Kind kind = Kind::DeviceImage;
        QString address;        // the machine, where its transfer port listens
        quint16 port = 0;       // transfer port
        QString deviceName;     // as the machine named it; '*' marks are dropped
        bool isFull = false;    // device image: all of the device, not only the runs in use
        QString storedFileName; // stored file: its name as the machine listed it
        QString targetPath;     // where the image goes, see targetPathFor()
        bool sidecar = true;    // a successful load leaves the image's SHA-256 beside it
    };

    ImageLoad(Request request, LogSink log, StopQuery stopped);
    ~ImageLoad();

    void setProgress(Progress progress);

    // Sends the request, connects within connectLimitMs (scaled like every time limit) and
    // stores the stream. The target file is created only once the machine has accepted the
    // connection; whatever was stored stays on disk when the load fails or stops. A sidecar of
    // the target goes as the target is overwritten; a new one comes only with success.
    Result run(const CommandSink &sendCommand, int connectLimitMs);

    QString commandLine() const;

    // The operator's chosen name, completed as the kind of load wants it.
    static QString targetPathFor(Kind kind, const QString &chosen);
    // The lines that close a load, after run() returned: "is terminated!" when it did not
    // succeed while a stop was raised, then the success or failure line of the kind.
    static QStringList closingLines(Kind kind, Result result, bool stopRaised);

    // Reads exactly len bytes. False on a socket error or close, when stopped() turns true while
    // bytes are awaited, and when no byte came for TransferLimits::ReadStallMs.
    static bool read(QTcpSocket &socket, char *buf, int len, const StopQuery &stopped);
    // Writes exactly len bytes, waiting while the file holds a large backlog.
    static bool write(QFile &file, const char *data, int len, const LogSink &log);

private:
    enum class Connect
    {
        Connected,
        TimedOut,
        Stopped
    };

    Connect connectToMachine(QTcpSocket &socket, int connectLimitMs);
    Result receive(QTcpSocket &socket, QFile &file);
    Result receiveTable(QTcpSocket &socket, QFile &file, BriefLogTable &table);
    Result receiveData(QTcpSocket &socket, QFile &file, const BriefLogTable &table);
    Result receiveTail(QTcpSocket &socket, QFile &file);
    bool storeSection(QFile &file, const char *data, int len);
    void storeSidecar();
    bool readSocket(QTcpSocket &socket, char *buf, int len);
    Result readFailed(const QString &line);
    Result writeFailed(const QString &line);
    Result failed(const QString &line);
    void advance(qint64 bytes);

    Request request;
    LogSink log;
    StopQuery stopped;
    Progress progress;
    std::unique_ptr<char[]> buffer;       // the data blocks on their way to the file
    std::unique_ptr<Sha256Digest> digest; // of what was written, for the sidecar
    qint64 done = 0;
    qint64 total = 0;
};
