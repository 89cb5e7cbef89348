#pragma once

#include "transfer/blocksender.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QString>

#include <functional>

class BriefLogTable;
class QElapsedTimer;
class QFile;
class QTcpServer;
class QTcpSocket;

// Sends an image file, or a firmware file wrapped as an image, to the one machine that connects
// to the console's transfer port, and waits for it to close. Everything it says goes to the log
// sink in the words of the Server.
class ImageDispatch
{
    Q_DECLARE_TR_FUNCTIONS(Server)

public:
    using LogSink = std::function<void(const QString &line)>;
    // True once the dispatch must end.
    using StopQuery = std::function<bool()>;
    // Bytes handed to the socket so far and the whole stream's length, 0 until known.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Whether a connection from this address may take the stream.
    using PeerFilter = std::function<bool(const QHostAddress &peer)>;

    ImageDispatch(LogSink log, StopQuery stopped);

    void setProgress(Progress progress);
    // Without a filter every connection is taken.
    void setPeerFilter(PeerFilter filter);
    // Every local address unless told otherwise.
    void setListenAddress(const QHostAddress &address);
    // A test seam: sector data leaves through this instead of sendfile(2).
    void setSendFile(BlockSender::SendFile sendFile);

    // Listens at port and waits for one machine, each within timeoutSec (scaled). Returns the
    // listener, which the caller owns and deletes to end the transfer, with the accepted connection
    // in clientSocket; null after logging why not.
    QTcpServer *createServerAndWaitConnection(quint16 port, QTcpSocket *&clientSocket,
                                              int timeoutSec);
    // After the last byte: true once the machine has closed the connection.
    bool waitClientDisconnected(QTcpSocket *clientSocket, int timeoutSec);

    // Head, table, data and tail of an image file, exactly as the file holds them.
    bool sendImage(QTcpSocket &socket, const QString &fileName);
    // A plain file as the data of a one-run image of size sectors.
    bool sendFirmware(QTcpSocket &socket, const QString &fileName, qint64 size);

    // Whether a transfer peer is the machine known by address (its Client's address text).
    static bool isMachineAddress(const QHostAddress &peer, const QString &address);

private:
    enum class Stream
    {
        Image,
        Firmware
    };

    // A channel wait ends when its time is up or a stop came, saying which.
    bool givesUp(const QElapsedTimer &timer, qint64 limitMs, const QString &timeoutLine);
    QTcpSocket *takeMachine(QTcpServer &listener);
    bool sendImageTable(QTcpSocket &socket, QFile &file, BriefLogTable &table);
    bool sendImageData(QTcpSocket &socket, QFile &file, const BriefLogTable &table, char *buffer);
    bool sendImageTail(QTcpSocket &socket, QFile &file, qint64 position);
    bool sendFirmwareData(QTcpSocket &socket, QFile &file, qint64 size, char *buffer);
    // The sectors of one run from position on, in blocks; position follows them.
    bool sendBlocks(BlockSender &sender, const QTcpSocket &socket, const QFile &file,
                    qint64 &position, qint64 sectors, Stream stream);
    bool send(QTcpSocket &socket, const char *data, qint64 len);
    // Why the block [start, end) of the file did not go, in the words of its stream.
    bool blockFailed(BlockSender::Outcome outcome, const QTcpSocket &socket, const QFile &file,
                     Stream stream, qint64 start, qint64 end);
    static QString terminated(Stream stream);
    bool failed(const QString &line);
    void report();

    LogSink log;
    StopQuery stopped;
    Progress progress;
    PeerFilter peerFilter;
    QHostAddress listenAddress = QHostAddress::Any;
    BlockSender::SendFile sendFile = BlockSender::kernelSendFile;
    qint64 done = 0;
    qint64 total = 0;
};
