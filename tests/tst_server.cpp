#include <QtTest>

#include <QListWidget>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QUdpSocket>

#include "app/para.h"
#include "client/client.h"
#include "client/framedevice.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

namespace {
const QHostAddress ConsoleAddress(QStringLiteral("127.0.0.1"));
const QHostAddress SecondConsoleAddress(QStringLiteral("127.0.0.2"));
constexpr int WaitMs = 5000;
constexpr quint16 HighPortBase = 40000;
constexpr int HighPortSpan = 20000;

QNetworkAddressEntry entry(const char *ip, const char *broadcast = nullptr)
{
    QNetworkAddressEntry e;
    e.setIp(QHostAddress(QString::fromLatin1(ip)));
    if (broadcast)
        e.setBroadcast(QHostAddress(QString::fromLatin1(broadcast)));
    return e;
}

QList<QNetworkAddressEntry> loopbackOnly()
{
    return {entry("127.0.0.1", "127.255.255.255"), entry("::1")};
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// The console's own widgets around one server on a free command port.
struct ServerRig
{
    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    quint16 port = 0;
    std::unique_ptr<Server> server;

    ServerRig()
    {
        for (const char *page : {"Machines Summary", "Global Log", "Files"})
            tabs.addTab(new QWidget, page);
    }

    void start(quint16 commandPort = 0)
    {
        port = commandPort ? commandPort : freePort();
        server = std::make_unique<Server>(&log, port, model.invisibleRootItem(), &tabs);
    }

    // The log after the start lines.
    QString logSinceStart()
    {
        const QString text = log.toPlainText();
        const QString mark = QStringLiteral("port: %1\n").arg(port);
        return text.mid(text.indexOf(mark) + mark.size());
    }

    // Connects a peer to the console address `to`, from the machine address `from`, and waits
    // until the server has taken it (admitted or not).
    bool admit(ScriptedPeer &peer, const QHostAddress &to = ConsoleAddress,
               const QHostAddress &from = QHostAddress(QStringLiteral("127.0.0.3")))
    {
        const auto taken = [this] { return log.toPlainText().count("New connection from"); };
        const int before = taken();
        return peer.connectTo(to, port, from) &&
               ScriptedPeer::waitUntil([&] { return taken() > before; }, WaitMs);
    }

    // Machines 127.0.0.3, 127.0.0.4, ... in order, through the same console address.
    bool admitAll(std::initializer_list<ScriptedPeer *> peers)
    {
        int host = 3;
        for (ScriptedPeer *peer : peers)
            if (!admit(*peer, ConsoleAddress,
                       QHostAddress(QStringLiteral("127.0.0.%1").arg(host++))))
                return false;
        return true;
    }

    Client *client(int index) { return server->clients().value(index); }
};

bool invoke(Server *server, const char *slot)
{
    return QMetaObject::invokeMethod(server, slot);
}

const QString ReleasedMachine = QStringLiteral("127.0.0.3 is disconnected!\n"
                                               "Client 127.0.0.3 is disconnect, remove it!\n");
} // namespace

Q_DECLARE_METATYPE(QList<QNetworkAddressEntry>)

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startLogsAddresses_data();
    void startLogsAddresses();
    void portInUseIsReported();
    void announcementFollowsPortSetting();
    void admission();
    void secondLocalAddressIsRejected_data();
    void secondLocalAddressIsRejected();
    void rejectedMachineLeavingDuringWarning();
    void lookups();
    void commands_data();
    void commands();
    void commandsWithoutMachines_data();
    void commandsWithoutMachines();
    void disconnectLifeCycle();
    void fileListsAndOpenSettingsBlock();

private:
    std::unique_ptr<ServerRig> rig;
};

void TestServer::init()
{
    para.tcpport = 0;
    para.translate = 0;
    para.savelog = false;
    Server::setAddressEntrySource(loopbackOnly);
    rig = std::make_unique<ServerRig>();
}

void TestServer::cleanup()
{
    rig.reset();
    Server::setAddressEntrySource(loopbackOnly);
}

void TestServer::startLogsAddresses_data()
{
    QTest::addColumn<QList<QNetworkAddressEntry>>("entries");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("running");

    QTest::newRow("loopback only") << loopbackOnly() << QStringList{} << "127.0.0.1";
    QTest::newRow("two networks") << QList<QNetworkAddressEntry>{entry("127.0.0.1"),
                                                                 entry("127.0.0.2", "127.0.0.255"),
                                                                 entry("::1"),
                                                                 entry("127.0.0.4", "127.0.0.255")}
                                  << QStringList{"127.0.0.2", "127.0.0.4"} << "127.0.0.2";
    QTest::newRow("no IPv4 form") << QList<QNetworkAddressEntry>{entry("0.0.0.0"), entry("fe80::1")}
                                  << QStringList{} << "127.0.0.1";
    QTest::newRow("nothing") << QList<QNetworkAddressEntry>{} << QStringList{} << "127.0.0.1";
}

void TestServer::startLogsAddresses()
{
    QFETCH(QList<QNetworkAddressEntry>, entries);
    QFETCH(QStringList, addresses);
    QFETCH(QString, running);

    Server::setAddressEntrySource([entries] { return entries; });
    rig->start();
    QString expected;
    for (const QString &address : addresses)
        expected += QStringLiteral("The server has IP: %1 \n").arg(address);
    expected +=
        QStringLiteral("The server is running on IP: %1 port: %2\n").arg(running).arg(rig->port);
    QString text = rig->log.toPlainText();
    if (text.startsWith("net is online\n"))
        text.remove(0, QStringLiteral("net is online\n").size());
    QCOMPARE(text, expected);

    ScriptedPeer peer;
    QVERIFY(rig->admit(peer));
}

void TestServer::portInUseIsReported()
{
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, 0));
    rig->start(squatter.serverPort());
    QVERIFY2(rig->log.toPlainText().endsWith(
                 "Unable to start the server: The bound address is already in use.\n"),
             qPrintable(rig->log.toPlainText()));
    QVERIFY(!rig->log.toPlainText().contains("running"));
}

void TestServer::announcementFollowsPortSetting()
{
    // Two test networks on loopback: each announces its own address to its "broadcast" address.
    QUdpSocket first;
    QUdpSocket second;
    int base = 0;
    for (int attempt = 0; attempt < 20 && !base; ++attempt) {
        const int candidate = HighPortBase + QRandomGenerator::global()->bounded(HighPortSpan);
        if (first.bind(QHostAddress("127.0.0.3"), candidate + 2) &&
            second.bind(QHostAddress("127.0.0.5"), candidate + 2)) {
            base = candidate;
        } else {
            first.close();
            second.close();
        }
    }
    QVERIFY(base);
    Server::setAddressEntrySource([] {
        return QList<QNetworkAddressEntry>{entry("127.0.0.1"), entry("127.0.0.2", "127.0.0.3"),
                                           entry("::1"), entry("127.0.0.4", "127.0.0.5")};
    });
    rig->start();
    // The setting changes after start: the announcement follows it, the listener does not.
    para.tcpport = base;
    QVERIFY(invoke(rig->server.get(), "reflashClients"));
    QCOMPARE(rig->logSinceStart(), QStringLiteral("broadcast 127.0.0.3\nbroadcast 127.0.0.5\n"));
    QTRY_VERIFY(first.hasPendingDatagrams() && second.hasPendingDatagrams());
    QCOMPARE(first.receiveDatagram().data(), QByteArray("127.0.0.2"));
    QCOMPARE(second.receiveDatagram().data(), QByteArray("127.0.0.4"));
    // The socket of an announcement does not outlive it.
    QTRY_VERIFY(rig->server->findChildren<QUdpSocket *>().isEmpty());
    ScriptedPeer peer;
    QVERIFY(rig->admit(peer));
}

void TestServer::admission()
{
    rig->start();
    QSignalSpy expands(rig->server.get(), &Server::expandTreeView);
    ScriptedPeer first;
    ScriptedPeer second;
    QVERIFY(rig->admitAll({&first, &second}));
    QCOMPARE(rig->logSinceStart(), QStringLiteral("New connection from 127.0.0.3\n"
                                                  "Connect IP: 127.0.0.1 <=> 127.0.0.3 \n"
                                                  "New connection from 127.0.0.4\n"
                                                  "Connect IP: 127.0.0.1 <=> 127.0.0.4 \n"));
    QCOMPARE(expands.count(), 2);
    QCOMPARE(rig->server->clients().size(), 2);
    QCOMPARE(rig->client(0)->address, QStringLiteral("127.0.0.3"));
    QCOMPARE(rig->client(1)->address, QStringLiteral("127.0.0.4"));
    QCOMPARE(rig->model.rowCount(), 2);
    QCOMPARE(rig->tabs.count(), 5);
}

void TestServer::secondLocalAddressIsRejected_data()
{
    QTest::addColumn<QString>("otherText");
    QTest::addColumn<QString>("shown");
    QTest::newRow("second IPv4 address") << "127.0.0.2" << QString("::ffff:127.0.0.2");
    QTest::newRow("IPv6 loopback") << "::1" << QString("::1");
}

void TestServer::secondLocalAddressIsRejected()
{
    QFETCH(QString, otherText);
    QFETCH(QString, shown);
    const QHostAddress other(otherText);

    rig->start();
    ScriptedPeer first;
    QVERIFY(rig->admit(first));
    // While the box is open, more connections from there are refused in the log only.
    const QString refusal = "Reject " + QString(shown).remove("::ffff:") +
                            ": more than one host received connection requirement.\n";
    ModalAnswerer answerer;
    ScriptedPeer more;
    bool refusedWhileOpen = false;
    answerer.perform([&](QWidget *box) {
        more.connectTo(other, rig->port, other);
        refusedWhileOpen = ScriptedPeer::waitUntil(
            [&] { return rig->log.toPlainText().endsWith(refusal); }, WaitMs);
        qobject_cast<QMessageBox *>(box)->button(QMessageBox::Ok)->click();
    });
    ScriptedPeer rejected;
    QVERIFY(rig->admit(rejected, other, other));
    QTRY_COMPARE(answerer.seen().size(), 1);
    QTRY_VERIFY(refusedWhileOpen && !more.isConnected());
    QCOMPARE(answerer.last().title, QStringLiteral("Host Warning"));
    QCOMPARE(answerer.last().text,
             QStringLiteral("More than one host received connection requirement.\nReject %1\n")
                 .arg(shown));
    QTRY_VERIFY(!rejected.isConnected());
    QTRY_COMPARE(rig->model.rowCount(), 1);
    QCOMPARE(rig->server->clients().size(), 1);
    QCOMPARE(rig->client(0)->address, QStringLiteral("127.0.0.3"));
    QTRY_COMPARE(rig->tabs.count(), 4);
    QVERIFY(!rig->log.toPlainText().contains("Connect IP: " + shown.remove("::ffff:")));

    // The first console address stays the only one, even once every machine has left.
    first.disconnectFromHost();
    QTRY_VERIFY(rig->server->isClientEmpty());
    answerer.pressButton(QMessageBox::Ok);
    ScriptedPeer again;
    QVERIFY(rig->admit(again, other, other));
    QTRY_COMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.last().title, QStringLiteral("Host Warning"));
    QTRY_VERIFY(!again.isConnected());
    QTRY_VERIFY(rig->server->isClientEmpty());
    ScriptedPeer back;
    QVERIFY(rig->admit(back));
    QCOMPARE(rig->server->clients().size(), 1);
}

void TestServer::rejectedMachineLeavingDuringWarning()
{
    rig->start();
    ScriptedPeer first;
    QVERIFY(rig->admit(first));
    ScriptedPeer leaving;
    bool goneWhileOpen = false;
    ModalAnswerer answerer;
    answerer.perform([&](QWidget *box) {
        // The machine leaves and its object is deleted while the box is still open.
        QPointer<Client> rejected = rig->server->clients().value(1);
        leaving.abort();
        goneWhileOpen =
            rejected && ScriptedPeer::waitUntil([&] { return rejected.isNull(); }, WaitMs);
        qobject_cast<QMessageBox *>(box)->button(QMessageBox::Ok)->click();
    });
    // Connected, warned about and gone again before the connect call returns.
    leaving.connectTo(SecondConsoleAddress, rig->port);
    QTRY_COMPARE(answerer.seen().size(), 1);
    QTRY_VERIFY(goneWhileOpen);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(rig->server->clients().size(), 1);
    QCOMPARE(rig->client(0)->address, QStringLiteral("127.0.0.3"));
    QCOMPARE(rig->model.rowCount(), 1);
    QVERIFY(rig->log.toPlainText().endsWith(QString(ReleasedMachine).replace(".3", ".2")));
    // Commands still reach the machine that stayed.
    QVERIFY(invoke(rig->server.get(), "askForVerify"));
    QVERIFY(first.waitForReceived(2));
    QCOMPARE(first.received(), QByteArray("V\n"));
}

void TestServer::lookups()
{
    rig->start();
    ScriptedPeer peers[3];
    QVERIFY(rig->admitAll({&peers[0], &peers[1], &peers[2]}));
    peers[0].sendLine("&M M1|Z|V|1|1|P1|end");
    peers[1].sendLine("&M M2|Z|V|1|1|P1|end");
    QTRY_COMPARE(rig->client(1)->getName(), QStringLiteral("M2"));
    QTRY_COMPARE(rig->client(0)->getName(), QStringLiteral("M1"));

    QCOMPARE(rig->server->findClient(1), rig->client(1));
    QCOMPARE(rig->server->findClient(3), nullptr);
    QCOMPARE(rig->server->findClient(-1), nullptr);
    const auto withName = [this](QString text) { return rig->server->findClientWithName(text); };
    QCOMPARE(withName("M2|SATA1*|SATA2"), rig->client(1));
    QCOMPARE(withName("M1"), rig->client(0));
    QCOMPARE(withName("m1|x"), nullptr);
    QCOMPARE(withName("|SATA1"), rig->client(2));

    // The machine above leaves: the rows below move up and the look-up follows them.
    Client *third = rig->client(2);
    peers[0].disconnectFromHost();
    QTRY_COMPARE(rig->server->clients().size(), 2);
    QCOMPARE(rig->client(0)->getName(), QStringLiteral("M2"));
    QCOMPARE(rig->server->findClient(1), third);
    QCOMPARE(rig->server->findClient(2), nullptr);
    QCOMPARE(withName("M1"), nullptr);
}

void TestServer::commands_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("logged");
    const auto row = [](const char *slot, const char *line, const QString &logged) {
        QTest::newRow(slot) << QByteArray(slot) << QByteArray(line) << logged;
    };
    row("askForCopy", "O\n", "Send COPY Command\n");
    row("askForCompare", "M\n", "Send COMPARE Command\n");
    row("askForVerify", "V\n", "Send VERIFY Command\n");
    row("askForErase", "E\n", "Send ERASE Command\n");
    row("askForResize", "I\n", "Send RESIZE Command\n");
    row("localAbort", "t\n",
        "Abort button is pressed!\nClient 127.0.0.3 is being asked stop!\n"
        "Client 127.0.0.4 is being asked stop!\n");
}

void TestServer::commands()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, line);
    QFETCH(QString, logged);

    rig->start();
    ScriptedPeer first;
    ScriptedPeer second;
    QVERIFY(rig->admitAll({&first, &second}));
    rig->tabs.setCurrentIndex(2);
    const QString before = rig->log.toPlainText();
    QVERIFY(invoke(rig->server.get(), slot.constData()));
    QCOMPARE(rig->tabs.currentIndex(), 0);
    QCOMPARE(rig->log.toPlainText(), before + logged);
    for (ScriptedPeer *peer : {&first, &second}) {
        QVERIFY(peer->waitForReceived(line.size()));
        QCOMPARE(peer->received(), line);
    }
    const bool stop = slot == "localAbort";
    QCOMPARE(rig->client(0)->stopRequested(), stop);
    QCOMPARE(rig->client(1)->stopRequested(), stop);
    QVERIFY(!rig->server->stopRequested()); // no transfer runs
    QVERIFY(!rig->server->isBusy());
}

void TestServer::commandsWithoutMachines_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("logged");
    QTest::newRow("erase") << QByteArray("askForErase") << QString();
    QTest::newRow("stop") << QByteArray("localAbort") << QString("Abort button is pressed!\n");
}

void TestServer::commandsWithoutMachines()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, logged);
    rig->start();
    rig->tabs.setCurrentIndex(1);
    const QString before = rig->log.toPlainText();
    QSignalSpy stops(rig->server.get(), &Server::askClientsStop);
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    QVERIFY(invoke(rig->server.get(), slot.constData()));
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().title, QStringLiteral("Error"));
    QCOMPARE(answerer.last().text,
             QStringLiteral("Please press the Connection button to connect the machine.!"));
    QCOMPARE(answerer.last().buttons, QStringList{"OK"});
    QCOMPARE(rig->log.toPlainText(), before + logged);
    QCOMPARE(rig->tabs.currentIndex(), 0);
    QCOMPARE(stops.count(), 0);
    QVERIFY(!rig->server->stopRequested());
}

void TestServer::disconnectLifeCycle()
{
    rig->start();
    ScriptedPeer peers[3];
    QVERIFY(rig->admit(peers[0]));
    QPointer<Client> client = rig->client(0);
    // A machine asking for termination stays connected; the server itself does not stop.
    peers[0].sendLines({"&M M1|Z|V|1|0|end", "&T overheated"});
    QTRY_VERIFY(rig->log.toPlainText().endsWith("M1 ask for termination (overheated)!\n"));
    QVERIFY(!rig->server->isClientEmpty());
    QVERIFY(!rig->log.toPlainText().contains("Server is been asking terminating!"));
    peers[0].disconnectFromHost();
    QTRY_VERIFY(rig->server->isClientEmpty());
    QVERIFY(rig->logSinceStart().endsWith(ReleasedMachine));
    QTRY_VERIFY(client.isNull());
    QCOMPARE(rig->model.rowCount(), 0);
    QVERIFY(!rig->server->stopRequested());

    // Aborting every connection releases each machine in order.
    QVERIFY(rig->admitAll({&peers[1], &peers[2]}));
    const QString before = rig->log.toPlainText();
    rig->server->abortClientsConnection();
    const QString after = rig->log.toPlainText().mid(before.size());
    QVERIFY2(after.startsWith("Abort client 127.0.0.3!\n" + ReleasedMachine +
                              "Abort client 127.0.0.4!\n"),
             qPrintable(after));
    QVERIFY(rig->server->isClientEmpty());
    QCOMPARE(rig->model.rowCount(), 0);
    QTRY_VERIFY(!peers[1].isConnected() && !peers[2].isConnected());
    QTRY_COMPARE(rig->tabs.count(), 3);
    QTRY_VERIFY(rig->server->findChildren<Client *>().isEmpty());
    rig->server->abortClientsConnection(); // nothing left to abort
    QVERIFY(!rig->log.toPlainText().mid(before.size() + after.size()).contains("Abort client"));
}

void TestServer::fileListsAndOpenSettingsBlock()
{
    rig->start();
    ScriptedPeer slow;
    ScriptedPeer other;
    QVERIFY(rig->admitAll({&slow, &other}));
    QStringList lists;
    connect(rig->server.get(), &Server::reflashFiles, this,
            [&lists](QString &files) { lists << files; });
    // A settings block whose end has not arrived holds neither its machine's later lines nor
    // other machines' lines.
    slow.sendLines({"&M S|Z|V|1|2|P1|P2|end", "&N", "source=P2"});
    other.sendLines({"#still flowing", "&R a.img|b.img"});
    QTRY_COMPARE(lists, QStringList{"a.img|b.img"});
    QTRY_COMPARE(rig->client(1)->frame()->getLogBrowser()->toPlainText(),
                 QStringLiteral("#still flowing"));
    auto *settings = rig->client(0)->frame()->findChild<QTextBrowser *>("textBrowserSettings");
    QTRY_COMPARE(settings->toPlainText(), QStringLiteral("source=P2\n"));
    QCOMPARE(rig->client(0)->sourceName(), QString());
    slow.sendLines({"x=1", "Settings End"});
    QTRY_COMPARE(rig->client(0)->sourceName(), QStringLiteral("P2"));
    QCOMPARE(settings->toPlainText(), QStringLiteral("source=P2\nx=1\n"));
}

TARN_TEST_MAIN(TestServer)
#include "tst_server.moc"
