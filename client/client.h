#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTabWidget>

#include "client/progressrate.h"
#include "client/runlogspool.h"
#include "client/runrecorder.h"
#include "client/wire/lineframer.h"
#include "transfer/imageload.h"

class FrameDevice;
class QFile;
class QStandardItem;
struct DeviceStatus;
class QTcpSocket;
class QTextBrowser;
class QTextStream;
class QWidget;

// One connected machine: reads and dispatches its lines, keeps its summary rows and its tab,
// saves its run logs and runs loads from it.
class Client : public QObject
{
    Q_OBJECT

public:
    enum Column
    {
        IndexDisplayName = 0,
        IndexModelName = 1,
        IndexVendorName = 2,
        IndexCapacity = 3,
        IndexStatus = 4,
        IndexPercentage = 5,
        IndexAccessName = 6,
        ColumnCount = 7
    };
    // Ports with per-run capacity and identification slots.
    static constexpr int PortSlots = 6;
    // Longest line a machine may send; longer ones are dropped up to their line feed.
    static constexpr int MaxLineBytes = 1 << 20;
    // Port rows a machine may have, over all its information messages; more are ignored.
    static constexpr int MaxPortRows = 64;

    explicit Client(QTextBrowser *log, QTcpSocket *tcpSocket, QStandardItem *root,
                    QTabWidget *tabWidget, QObject *parent = nullptr);
    ~Client() override;

    QString address;
    QTextStream *textStream = nullptr;

    bool isConnected();
    void abort();
    void write(QString &str);
    int rowInItems();
    QString getName();
    static bool isBusy();

    void sendImageToServer(QString deviceName, bool isFull);
    void sendImageFileToServer(QString deviceName, QString setImageFileName);
    bool read(QTcpSocket &socket, char *buf, int len);
    bool write(QFile &file, char *data, int len);

    void parseDeviceStatus(QString &str);
    void parseGlobalStatus(QString &str);

    void createRootItems();
    void addPortItems(QString &str);
    void clearItems();
    int findRowInItems(QString accessName);

    FrameDevice *frame() const { return view; }
    QWidget *tabPage() const { return widget; }
    quint64 runCapacity() const { return capacity; }
    bool stopRequested() const { return isAskStop; }
    bool nonSourceMode() const { return IsNonSourceMode; }
    QString sourceName() const { return source_name; }
    const ProgressRate &progressRate() const { return rates; }

signals:
    void abortServer(Client *client);
    void reflashFiles(QString &files);
    void transferProgress(qint64 done, qint64 total);
    void transferFinished();

public slots:
    void disconnected();
    void readyRead();
    void askStop();

private:
    // Asks for the target file and runs the load; the outcome goes to the global log.
    void loadFromMachine(ImageLoad::Request request, int connectLimitMs);
    ImageLoad::LogSink globalLogSink() const;
    void createTab();
    void deleteTab();
    void clearLog();
    QString saveLog(const QDateTime &when);
    // A line for the machine's log tab, which the run log gets too.
    void logToTab(QString &line);

    bool takeLine(QByteArray &line);
    bool fillFramer();
    void resumeWhenStalled();
    void reportDroppedLines();
    void dispatchLine(QString &line);
    int targetRow(const QString &accessName);
    void identifyDevice(const DeviceStatus &status);
    void showProgress(int row, quint64 done);
    void applyMachineInfo(const QString &payload);
    void takeSettingsLine(const QString &line);
    void finishSettingsBlock();

    FrameDevice *view = nullptr;
    QList<QStandardItem *> items;
    QTcpSocket *tcpSocket = nullptr;
    QString machineName;
    QStandardItem *root = nullptr;
    QTextBrowser *log = nullptr;
    // The window may take its tabs down before its machines go.
    QPointer<QTabWidget> tabWidget;
    QPointer<QWidget> widget;
    quint64 capacity = 0;
    bool isAskStop = false;
    bool IsNonSourceMode = false;
    quint64 tarcapacity[PortSlots] = {};
    bool selimgdevice[PortSlots] = {};
    static bool isBusyFlag;
    QString source_name;

    // Everything the tab shows since the run started (or the machine connected), for the run
    // log: the tab itself keeps only its newest lines.
    RunLogSpool runLog;
    LineFramer framer{MaxLineBytes};
    bool inSettingsBlock = false;
    QString settingsSourceLine;

    ProgressRate rates;
    RunRecorder recorder{[this] {
                             return RunRecorder::Machine{machineName, address, source_name};
                         },
                         globalLogSink()};
};
