#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QObject>
#include <QStringList>

#include <functional>

class Client;
class ImageDispatch;
class QNetworkSession;
class QStandardItem;
class QTabWidget;
class QTcpServer;
class QTcpSocket;
class QTextBrowser;

typedef QList<Client *> ListClient;

// The console's side of the command connection: listener, announcement, registry of machines,
// operation commands, stop, and the dispatch of images and firmware to machines.
class Server : public QObject
{
    Q_OBJECT
    // The window wires its tool-bar actions straight to the operation slots.
    friend class MainWindow;

public:
    enum Command
    {
        CmdCopy = 1,
        CmdCompare = 2,
        CmdVerify = 3,
        CmdErase = 4,
        CmdResize = 5
    };

    // Address entries of the computer's interfaces, in the platform's order. Tests replace it
    // so that nothing of theirs broadcasts on a real network.
    using AddressEntrySource = std::function<QList<QNetworkAddressEntry>()>;
    static void setAddressEntrySource(AddressEntrySource source);

    explicit Server(QTextBrowser *log, int port, QStandardItem *root, QTabWidget *tabWidget,
                    QObject *parent = nullptr);
    ~Server() override;

    Client *findClient(int row);
    Client *findClientWithName(QString &name);
    bool isClientEmpty();
    void write(QString &str);
    bool isBusy();

    void sendImageToClients(QStringList &attendClients, QStringList selects_device);
    bool sendImageToClients(QString &fileName, bool test = false);
    qint64 getImageCapacity(QString &fileName);
    bool sendFirmwareToClients(QString &fileName, qint64 size);
    QTcpServer *createServerAndWaitConnection(QTcpSocket *&clientSocket, int timeoutSec);
    bool waitClientDisconnected(QTcpSocket *clientSocket, int timeoutSec);

    const ListClient &clients() const { return listClient; }
    bool stopRequested() const { return isAskStop; }

signals:
    void expandTreeView();
    void askClientsStop();
    // Forwarded from every machine: the file list it answered with.
    void reflashFiles(QString &files);
    // Bytes moved by the running load or dispatch; total is 0 while unknown.
    void transferProgress(qint64 done, qint64 total);
    void transferFinished();

public slots:
    void abortClientsConnection();

private slots:
    void abortServer(Client *client);
    void askForCopy();
    void askForResize();
    void askForCompare();
    void askForVerify();
    void askForErase();
    void reflashClients();
    void localAbort();
    void sessionOpened();
    void tcpSocketReady();

private:
    void askForExecution(int cmd);
    // The dispatch workflow's questions; each false or empty when the operator declines.
    bool confirm(const QString &text);
    QString askWritingMethod();
    bool chooseRestoreDevice(const QStringList &selects_device, QString &selectdevice);
    // An image with a sidecar must still match it; false after telling the operator why not.
    bool sidecarAllowsDispatch(const QString &fileName);
    // Writes the dispatch command to every attending machine that is there; how many were told.
    int announceDispatch(const QStringList &attendClients, const QString &fileName, qint64 cap,
                         const QString &method, const QString *restoreDevice);
    void showDispatchFailure(const QString &fileName);
    // One stream to the machine that connects to the transfer port, from listening to closing.
    bool dispatchStream(const std::function<bool(ImageDispatch &, QTcpSocket &)> &send);
    ImageDispatch dispatcher();
    bool isMachineAddress(const QHostAddress &peer) const;
    quint16 transferPort() const;
    // Shows the summary page; false, after telling the operator, when no machine is connected.
    bool showSummaryWithMachines();
    void appendLog(const QString &line);

    QTcpServer *tcpServer = nullptr;
    QNetworkSession *networkSession = nullptr;
    QTextBrowser *log = nullptr;
    QStandardItem *root = nullptr;
    ListClient listClient;
    QHostAddress hostAddress;
    QHostAddress peerAddress;
    QTabWidget *tabWidget = nullptr;
    int port = 0;
    bool isAskStop = false;
    bool isBusyFlag = false;
    bool hostWarningOpen = false;
};
