#include "server/server.h"

#include "app/para.h"
#include "client/client.h"
#include "client/globallog.h"

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

namespace {
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
    auto *client = new Client(log, socket, root, tabWidget, this);
    connect(client, &Client::abortServer, this, &Server::abortServer);
    connect(this, &Server::askClientsStop, client, &Client::askStop);
    connect(client, &Client::reflashFiles, this, &Server::reflashFiles);
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
    box.exec();
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

// Transfers to machines: wired with the transfer channel.
void Server::sendImageToClients(QStringList &, QStringList) {}
bool Server::sendImageToClients(QString &, bool)
{
    return false;
}
qint64 Server::getImageCapacity(QString &)
{
    return 0;
}
bool Server::sendFirmwareToClients(QString &, int)
{
    return false;
}
QTcpServer *Server::createServerAndWaitConnection(QTcpSocket *&, int)
{
    return nullptr;
}
bool Server::waitClientDisconnected(QTcpSocket *, int)
{
    return false;
}
