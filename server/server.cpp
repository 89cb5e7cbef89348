#include "server/server.h"

#include "app/para.h"
#include "client/client.h"
#include "client/globallog.h"
#include "image/imagefile.h"
#include "server/dispatchsidecarcheck.h"
#include "transfer/dispatchcommand.h"
#include "transfer/imagedispatch.h"
#include "transfer/transferlimits.h"
#include "ui/devicedialog.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkConfigurationManager>
#include <QNetworkInterface>
#include <QNetworkSession>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <memory>

namespace {
constexpr int TransferPortOffset = 1;
constexpr int AnnouncePortOffset = 2;
constexpr int SummaryTab = 0;

struct CommandLine
{
    int code;
    const char *line;
    const char *logText;
};

const CommandLine commandLines[] = {
    {Server::CmdCopy, "O\n", QT_TRANSLATE_NOOP("Server", "Send COPY Command\n")},
    {Server::CmdCompare, "M\n", QT_TRANSLATE_NOOP("Server", "Send COMPARE Command\n")},
    {Server::CmdVerify, "V\n", QT_TRANSLATE_NOOP("Server", "Send VERIFY Command\n")},
    {Server::CmdErase, "E\n", QT_TRANSLATE_NOOP("Server", "Send ERASE Command\n")},
    {Server::CmdResize, "I\n", QT_TRANSLATE_NOOP("Server", "Send RESIZE Command\n")},
};

QList<QNetworkAddressEntry> allAddressEntries()
{
    QList<QNetworkAddressEntry> entries;
    for (const QNetworkInterface &networkInterface : QNetworkInterface::allInterfaces())
        entries += networkInterface.addressEntries();
    return entries;
}

Server::AddressEntrySource &addressEntries()
{
    static Server::AddressEntrySource source = allAddressEntries;
    return source;
}

QString withoutMappedPrefix(QString text)
{
    return text.remove(QStringLiteral("::ffff:"));
}
} // namespace

void Server::setAddressEntrySource(AddressEntrySource source)
{
    addressEntries() = source ? std::move(source) : AddressEntrySource(allAddressEntries);
}

Server::Server(QTextBrowser *log, int port, QStandardItem *root, QTabWidget *tabWidget,
               QObject *parent)
    : QObject(parent), log(log), root(root), tabWidget(tabWidget), port(port)
{
    // The bearer API is deprecated, but some platforms still need a session before listening.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QNetworkConfigurationManager manager;
    if (manager.isOnline())
        appendLog(tr("net is online\n"));
    if (!(manager.capabilities() & QNetworkConfigurationManager::NetworkSessionRequired)) {
        sessionOpened();
        return;
    }
    QSettings settings(QStringLiteral("Orvane"), QStringLiteral("TARN"));
    settings.beginGroup(QStringLiteral("QtNetwork"));
    const QString id = settings.value(QStringLiteral("DefaultNetworkConfiguration")).toString();
    settings.endGroup();
    QNetworkConfiguration config = manager.configurationFromIdentifier(id);
    if ((config.state() & QNetworkConfiguration::Discovered) != QNetworkConfiguration::Discovered)
        config = manager.defaultConfiguration();
    networkSession = new QNetworkSession(config, this);
    connect(networkSession, &QNetworkSession::opened, this, &Server::sessionOpened);
    appendLog(tr("Opening network session..."));
    networkSession->open();
    QT_WARNING_POP
}

Server::~Server() = default;

void Server::sessionOpened()
{
    if (networkSession) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        const QNetworkConfiguration config = networkSession->configuration();
        const QString id =
            config.type() == QNetworkConfiguration::UserChoice
                ? networkSession->sessionProperty(QStringLiteral("UserChoiceConfiguration"))
                      .toString()
                : config.identifier();
        QT_WARNING_POP
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        settings.beginGroup(QStringLiteral("QtNetwork"));
        settings.setValue(QStringLiteral("DefaultNetworkConfiguration"), id);
        settings.endGroup();
    }

    tcpServer = new QTcpServer(this);
    connect(tcpServer, &QTcpServer::newConnection, this, &Server::tcpSocketReady);
    if (!tcpServer->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        appendLog(tr("Unable to start the server: %1.\n").arg(tcpServer->errorString()));
        return;
    }

    const QHostAddress loopback(QHostAddress::LocalHost);
    QHostAddress running;
    for (const QNetworkAddressEntry &entry : addressEntries()()) {
        const QHostAddress address = entry.ip();
        if (address == loopback || address.toIPv4Address() == 0)
            continue;
        appendLog(tr("The server has IP: %1 \n").arg(address.toString()));
        if (running.isNull())
            running = address;
    }
    if (running.isNull())
        running = loopback;
    appendLog(tr("The server is running on IP: %1 port: %2\n")
                  .arg(running.toString())
                  .arg(tcpServer->serverPort()));
}

void Server::reflashClients()
{
    const quint16 announcePort = static_cast<quint16>(para.tcpport + AnnouncePortOffset);
    auto *udpSocket = new QUdpSocket(this);
    for (const QNetworkAddressEntry &entry : addressEntries()()) {
        const QHostAddress broadcast = entry.broadcast();
        if (broadcast.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const QByteArray datagram = entry.ip().toString().toLatin1();
        appendLog(tr("broadcast %1\n").arg(broadcast.toString()));
        if (udpSocket->writeDatagram(datagram, broadcast, announcePort) != datagram.size())
            appendLog(tr("Fails broadcast %1!\n").arg(broadcast.toString()));
    }
    udpSocket->deleteLater();
}

void Server::tcpSocketReady()
{
    QTcpSocket *socket = tcpServer->nextPendingConnection();
    if (!socket)
        return;
    // One warning at a time: while the operator reads it, further connections through another
    // local address are refused in the log only, so that a flood of them cannot stack boxes.
    if (hostWarningOpen && socket->localAddress() != hostAddress) {
        appendLog(withoutMappedPrefix(
            tr("Reject %1: more than one host received connection requirement.\n")
                .arg(socket->peerAddress().toString())));
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto *client = new Client(log, socket, root, tabWidget, this);
    connect(client, &Client::abortServer, this, &Server::abortServer);
    connect(this, &Server::askClientsStop, client, &Client::askStop);
    connect(client, &Client::reflashFiles, this, &Server::reflashFiles);
    connect(client, &Client::transferProgress, this, &Server::transferProgress);
    connect(client, &Client::transferFinished, this, &Server::transferFinished);
    // The registry never holds a machine object that is gone, whatever path deleted it.
    connect(client, &QObject::destroyed, this, [this, client] { listClient.removeAll(client); });
    listClient.append(client);

    const QHostAddress local = socket->localAddress();
    if (hostAddress.isNull() || hostAddress == local) {
        hostAddress = local;
        peerAddress = socket->peerAddress();
        appendLog(withoutMappedPrefix(
            tr("Connect IP: %1 <=> %2 \n").arg(hostAddress.toString(), peerAddress.toString())));
        emit expandTreeView();
        return;
    }

    // The box runs a nested event loop: the machine may leave and its object go meanwhile.
    QPointer<Client> rejected(client);
    QMessageBox box(QMessageBox::Warning, tr("Host Warning"),
                    tr("More than one host received connection requirement.\nReject %1\n")
                        .arg(socket->peerAddress().toString()),
                    QMessageBox::Ok);
    hostWarningOpen = true;
    box.exec();
    hostWarningOpen = false;
    if (!rejected)
        return;
    rejected->abort();
    listClient.removeAll(rejected.data());
    delete rejected.data();
}

Client *Server::findClient(int row)
{
    const ListClient clients = listClient;
    for (Client *client : clients) {
        if (client->rowInItems() == row)
            return client;
    }
    return nullptr;
}

Client *Server::findClientWithName(QString &name)
{
    const QString machineName = name.section(QLatin1Char('|'), 0, 0);
    const ListClient clients = listClient;
    for (Client *client : clients) {
        if (client->getName() == machineName)
            return client;
    }
    return nullptr;
}

bool Server::isClientEmpty()
{
    return listClient.isEmpty();
}

void Server::write(QString &str)
{
    const ListClient clients = listClient;
    for (Client *client : clients)
        client->write(str);
}

bool Server::isBusy()
{
    return isBusyFlag;
}

void Server::abortServer(Client *client)
{
    if (!client->isConnected()) {
        appendLog(tr("Client %1 is disconnect, remove it!\n").arg(client->address));
        listClient.removeOne(client);
    }
    if (isBusyFlag) {
        appendLog(tr("Server is been asking terminating!\n"));
        isAskStop = true;
    }
}

void Server::abortClientsConnection()
{
    const ListClient clients = listClient;
    for (Client *client : clients) {
        appendLog(tr("Abort client %1!\n").arg(client->address));
        client->abort();
    }
}

void Server::askForCopy()
{
    if (showSummaryWithMachines())
        askForExecution(CmdCopy);
}

void Server::askForResize()
{
    if (showSummaryWithMachines())
        askForExecution(CmdResize);
}

void Server::askForCompare()
{
    if (showSummaryWithMachines())
        askForExecution(CmdCompare);
}

void Server::askForVerify()
{
    if (showSummaryWithMachines())
        askForExecution(CmdVerify);
}

void Server::askForErase()
{
    if (showSummaryWithMachines())
        askForExecution(CmdErase);
}

void Server::askForExecution(int cmd)
{
    for (const CommandLine &command : commandLines) {
        if (command.code != cmd)
            continue;
        appendLog(tr(command.logText));
        QString line = QString::fromLatin1(command.line);
        write(line);
        return;
    }
}

void Server::localAbort()
{
    appendLog(tr("Abort button is pressed!\n"));
    if (!showSummaryWithMachines())
        return;
    if (isBusyFlag)
        isAskStop = true;
    emit askClientsStop();
}

bool Server::showSummaryWithMachines()
{
    tabWidget->setCurrentIndex(SummaryTab);
    if (!isClientEmpty())
        return true;
    QMessageBox::warning(nullptr, tr("Error"),
                         tr("Please press the Connection button to connect the machine.!"),
                         QMessageBox::Ok);
    return false;
}

void Server::appendLog(const QString &line)
{
    GlobalLog::append(log, line);
}

void Server::sendImageToClients(QStringList &attendClients, QStringList selects_device)
{
    QString selectdevice = selects_device.value(0);
    QString attending;
    for (const QString &entry : qAsConst(attendClients))
        attending += entry + QLatin1Char(' ');
    appendLog(tr("Attend devices is ") + attending + QLatin1Char('\n'));

    QString fileName = QFileDialog::getOpenFileName(nullptr, tr("Choose image file name"),
                                                    QStringLiteral("/"), tr("Images (*.img)"));
    if (fileName.isEmpty())
        return;
    // The name goes into one command line on every machine: a line break would split it.
    if (DispatchCommand::breaksLine(fileName)) {
        const QString text =
            tr("The file name %1 contains a line break and cannot be dispatched!\n").arg(fileName);
        QMessageBox::warning(nullptr, tr("Error"), text, QMessageBox::Ok);
        appendLog(text);
        return;
    }

    const bool isFirmwareImage = DispatchCommand::isFirmwarePath(fileName);
    bool bisRestoreImage = false;
    QString method = DispatchCommand::MethodImage;
    qint64 cap = 0;
    if (isFirmwareImage) {
        if (!confirm(tr("The file you select will be sent overall devices and force firmware "
                        "upgrading! Are you sure?")))
            return;
        cap = DispatchCommand::sectorsOf(QFileInfo(fileName).size());
    } else {
        method = askWritingMethod();
        if (method.isEmpty())
            return;
        if (method == DispatchCommand::MethodImage) {
            if (selects_device.size() > 1) {
                if (!chooseRestoreDevice(selects_device, selectdevice))
                    return;
                bisRestoreImage = true;
            }
            if (!confirm(
                    tr("Restore image file %1 to %2 \nAre you sure?").arg(fileName, selectdevice)))
                return;
        } else {
            QString targets;
            for (const QString &entry : qAsConst(attendClients))
                targets += entry + QLatin1Char('\n');
            if (!confirm(tr("Restore from %1 to \n%2 Are you sure?").arg(fileName, targets)))
                return;
        }
        cap = getImageCapacity(fileName);
        // A negative capacity is as unusable as none.
        if (cap <= 0) {
            QMessageBox::critical(nullptr, tr("ERROR"), tr("Fails analysing image file!"),
                                  QMessageBox::Ok);
            return;
        }
        if (!sidecarAllowsDispatch(fileName))
            return;
    }

    if (announceDispatch(attendClients, fileName, cap, method,
                         bisRestoreImage ? &selectdevice : nullptr) == 0) {
        showDispatchFailure(fileName);
        return;
    }
    const bool sent =
        isFirmwareImage ? sendFirmwareToClients(fileName, cap) : sendImageToClients(fileName);
    if (!sent)
        showDispatchFailure(fileName);
}

bool Server::sidecarAllowsDispatch(const QString &fileName)
{
    if (!DispatchSidecarCheck::applies(fileName))
        return true;
    // Busy while the file is read: Stop ends the read, and no other transfer starts meanwhile.
    isAskStop = false;
    isBusyFlag = true;
    DispatchSidecarCheck check(
        [this](const QString &line) { appendLog(line); }, [this] { return isAskStop; },
        [this](qint64 done, qint64 total) { emit transferProgress(done, total); });
    const bool passes = check.passes(fileName);
    isAskStop = false;
    isBusyFlag = false;
    emit transferFinished();
    return passes;
}

bool Server::confirm(const QString &text)
{
    return QMessageBox::warning(nullptr, tr("WARNING"), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString Server::askWritingMethod()
{
    QMessageBox box;
    box.setText(tr("Writting Method"));
    box.setInformativeText(
        tr("Restore to Image will copy the image file to Source Position. An image file with the "
           "same name on the device will be overwritten.\nRestore will expand the image file and "
           "write the contents to the selected devices. The whole media will be "
           "overwritten.\nCancel to do nothing and exit."));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Cancel);
    box.button(QMessageBox::Save)->setText(tr("Restore to Image"));
    box.button(QMessageBox::SaveAll)->setText(tr("Restore"));
    box.button(QMessageBox::Cancel)->setText(tr("Cancel"));
    box.setDefaultButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return DispatchCommand::MethodImage;
    case QMessageBox::SaveAll:
        return DispatchCommand::MethodFull;
    default:
        return QString();
    }
}

bool Server::chooseRestoreDevice(const QStringList &selects_device, QString &selectdevice)
{
    devicedialog dialog;
    dialog.setDeviceName(selects_device);
    dialog.exec();
    if (dialog.bIsOKAcceepted())
        selectdevice = dialog.getDeviceName();
    if (!selectdevice.isEmpty())
        return true;
    QMessageBox::warning(nullptr, tr("Error"), tr("Please select one Device!"), QMessageBox::Ok);
    return false;
}

int Server::announceDispatch(const QStringList &attendClients, const QString &fileName, qint64 cap,
                             const QString &method, const QString *restoreDevice)
{
    // Looked up after the last question: nothing from here to the last command returns to the
    // event loop, so every machine found is still there when its command is written.
    struct Target
    {
        Client *client;
        QString media;
    };
    // A machine may have left while the questions were open, or not have named itself yet: the
    // chain closes over the machines that are there.
    QList<Target> targets;
    for (const QString &entry : attendClients) {
        QString name = entry;
        const QString machine = name.section(QLatin1Char('|'), 0, 0);
        Client *client = machine.isEmpty() ? nullptr : findClientWithName(name);
        if (!client) {
            appendLog(tr("Machine %1 is not connected, skipped!\n").arg(machine));
            continue;
        }
        targets.append({client, restoreDevice ? DispatchCommand::withoutSourceMarks(*restoreDevice)
                                              : DispatchCommand::mediaOf(entry)});
    }

    DispatchCommand command;
    command.port = transferPort();
    command.fileName = DispatchCommand::announcedName(fileName);
    command.capacity = cap;
    command.method = method;
    for (int i = 0; i < targets.size(); ++i) {
        Client *client = targets.at(i).client;
        const Client *previous = i > 0 ? targets.at(i - 1).client : nullptr;
        const Client *next = i + 1 < targets.size() ? targets.at(i + 1).client : nullptr;
        command.previous = previous ? DispatchCommand::neighbour(previous->address, command.port)
                                    : QString(DispatchCommand::NoNeighbour);
        command.next = next ? DispatchCommand::neighbour(next->address, command.port)
                            : QString(DispatchCommand::NoNeighbour);
        command.media = targets.at(i).media;
        QString line = command.line();
        client->write(line);
        appendLog(tr("Ask client %1 for sending file %2,capacity %3, method %4\n")
                      .arg(client->address, command.fileName, QString::number(cap), method));
        appendLog(tr("Command is: ") + line);
    }
    return targets.size();
}

void Server::showDispatchFailure(const QString &fileName)
{
    const QString text = tr("Fails dispatching image %1!\nProcess terminate!\n").arg(fileName);
    QMessageBox::critical(nullptr, tr("Dispatch image"), text, QMessageBox::Ok);
    appendLog(text);
}

bool Server::sendImageToClients(QString &fileName, bool)
{
    return dispatchStream([&fileName](ImageDispatch &dispatch, QTcpSocket &socket) {
        return dispatch.sendImage(socket, fileName);
    });
}

qint64 Server::getImageCapacity(QString &fileName)
{
    return imageCapacity(fileName);
}

bool Server::sendFirmwareToClients(QString &fileName, qint64 size)
{
    return dispatchStream([&fileName, size](ImageDispatch &dispatch, QTcpSocket &socket) {
        return dispatch.sendFirmware(socket, fileName, size);
    });
}

bool Server::dispatchStream(const std::function<bool(ImageDispatch &, QTcpSocket &)> &send)
{
    // A stop that came after the last dispatch's last look must not end this one.
    isAskStop = false;
    // Busy while still waiting for the machine: Stop and a machine leaving end that wait too,
    // and no other transfer starts meanwhile.
    isBusyFlag = true;
    QTcpSocket *socket = nullptr;
    std::unique_ptr<QTcpServer> listener(
        createServerAndWaitConnection(socket, TransferLimits::ListenSec));
    ImageDispatch dispatch = dispatcher();
    const bool sent = listener && send(dispatch, *socket) &&
                      waitClientDisconnected(socket, TransferLimits::DisconnectSec);
    listener.reset();
    isAskStop = false;
    isBusyFlag = false;
    emit transferFinished();
    return sent;
}

QTcpServer *Server::createServerAndWaitConnection(QTcpSocket *&clientSocket, int timeoutSec)
{
    return dispatcher().createServerAndWaitConnection(transferPort(), clientSocket, timeoutSec);
}

bool Server::waitClientDisconnected(QTcpSocket *clientSocket, int timeoutSec)
{
    return dispatcher().waitClientDisconnected(clientSocket, timeoutSec);
}

ImageDispatch Server::dispatcher()
{
    ImageDispatch dispatch([this](const QString &line) { appendLog(line); },
                           [this] { return isAskStop; });
    dispatch.setPeerFilter([this](const QHostAddress &peer) { return isMachineAddress(peer); });
    dispatch.setProgress([this](qint64 done, qint64 total) { emit transferProgress(done, total); });
    return dispatch;
}

bool Server::isMachineAddress(const QHostAddress &peer) const
{
    for (const Client *client : listClient) {
        if (ImageDispatch::isMachineAddress(peer, client->address))
            return true;
    }
    return false;
}

quint16 Server::transferPort() const
{
    return static_cast<quint16>(para.tcpport + TransferPortOffset);
}
