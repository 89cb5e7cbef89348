// Placeholder until the machine server lands.
#include "server/server.h"

void Server::setAddressEntrySource(AddressEntrySource) {}
Server::Server(QTextBrowser *log, int port, QStandardItem *root, QTabWidget *tabWidget,
               QObject *parent)
    : QObject(parent), log(log), root(root), tabWidget(tabWidget), port(port)
{
}
Server::~Server() = default;
Client *Server::findClient(int) { return nullptr; }
Client *Server::findClientWithName(QString &) { return nullptr; }
bool Server::isClientEmpty() { return listClient.isEmpty(); }
void Server::write(QString &) {}
bool Server::isBusy() { return isBusyFlag; }
void Server::sendImageToClients(QStringList &, QStringList) {}
bool Server::sendImageToClients(QString &, bool) { return false; }
qint64 Server::getImageCapacity(QString &) { return 0; }
bool Server::sendFirmwareToClients(QString &, int) { return false; }
QTcpServer *Server::createServerAndWaitConnection(QTcpSocket *&, int) { return nullptr; }
bool Server::waitClientDisconnected(QTcpSocket *, int) { return false; }
void Server::abortClientsConnection() {}
void Server::abortServer(Client *) {}
void Server::askForCopy() {}
void Server::askForResize() {}
void Server::askForCompare() {}
void Server::askForVerify() {}
void Server::askForErase() {}
void Server::reflashClients() {}
void Server::localAbort() {}
void Server::sessionOpened() {}
void Server::tcpSocketReady() {}
void Server::askForExecution(int) {}
