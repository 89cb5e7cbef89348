// Placeholder until the machine client lands.
#include "client/client.h"

bool Client::isBusyFlag = false;

Client::Client(QTextBrowser *log, QTcpSocket *tcpSocket, QStandardItem *root, QTabWidget *tabWidget,
               QObject *parent)
    : QObject(parent), tcpSocket(tcpSocket), root(root), log(log), tabWidget(tabWidget)
{
}
Client::~Client() = default;
bool Client::isConnected() { return false; }
void Client::abort() {}
void Client::write(QString &) {}
int Client::rowInItems() { return -1; }
QString Client::getName() { return machineName; }
bool Client::isBusy() { return isBusyFlag; }
void Client::sendImageToServer(QString, bool) {}
void Client::sendImageFileToServer(QString, QString) {}
bool Client::read(QTcpSocket &, char *, int) { return false; }
bool Client::write(QFile &, char *, int) { return false; }
void Client::parseDeviceStatus(QString &) {}
void Client::parseGlobalStatus(QString &) {}
void Client::createRootItems() {}
void Client::addPortItems(QString &) {}
void Client::clearItems() {}
int Client::findRowInItems(QString) { return -1; }
void Client::disconnected() {}
void Client::readyRead() {}
void Client::askStop() {}
void Client::createTab() {}
void Client::deleteTab() {}
void Client::clearLog() {}
void Client::saveLog() {}
