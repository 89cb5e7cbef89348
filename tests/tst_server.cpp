#include <QtTest>

#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>

#include "app/para.h"
#include "client/client.h"
#include "client/framedevice.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

using S = QStringList;

namespace {
const QHostAddress ConsoleAddress(QStringLiteral("127.0.0.1"));
constexpr int WaitMs = 5000;

// Announcements stay on loopback.
QList<QNetworkAddressEntry> loopbackOnly()
{
    QNetworkAddressEntry e;
    e.setIp(QHostAddress(QHostAddress::LocalHost));
    e.setBroadcast(QHostAddress(QStringLiteral("127.255.255.255")));
    return {e};
}

// The console's own widgets around one server on a free command port.
struct ServerRig
{
    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    quint16 port = 0;
    std::unique_ptr<Server> server;

    explicit ServerRig(quint16 commandPort = 0)
    {
        for (const char *page : {"Machines Summary", "Global Log", "Files"})
            tabs.addTab(new QWidget, page);
        // A port free on every address, as the server listens on all of them.
        QTcpServer probe;
        port = commandPort ? commandPort : (probe.listen(QHostAddress::Any, 0), probe.serverPort());
        probe.close();
        server = std::make_unique<Server>(&log, port, model.invisibleRootItem(), &tabs);
    }

    // Connects machines 127.0.0.3, 127.0.0.4, ... to the console address `to` and waits until
    // the server has taken each (admitted or not).
    bool admit(std::initializer_list<ScriptedPeer *> peers, const QHostAddress &to = ConsoleAddress)
    {
        int host = 3;
        for (ScriptedPeer *peer : peers) {
            const int before = log.toPlainText().count("New connection from");
            const QHostAddress from =
                to == ConsoleAddress ? QHostAddress(QStringLiteral("127.0.0.%1").arg(host++)) : to;
            if (!peer->connectTo(to, port, from) ||
                !ScriptedPeer::waitUntil(
                    [&] { return log.toPlainText().count("New connection from") > before; },
                    WaitMs))
                return false;
        }
        return true;
    }

    bool invoke(const char *slot) { return QMetaObject::invokeMethod(server.get(), slot); }
    Client *client(int index) { return server->clients().value(index); }
};
} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commands_data();
    void commands();
    void secondLocalAddressIsRejected();
};

void TestServer::init()
{
    para.tcpport = 0;
    para.translate = 0;
    para.savelog = false;
    Server::setAddressEntrySource(loopbackOnly);
}

void TestServer::commands_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("logged");
    const QString stops = "Abort button is pressed!\nClient 127.0.0.3 is being asked stop!\n"
                          "Client 127.0.0.4 is being asked stop!\n";
    for (const S &row :
         {S{"askForCopy", "O\n", "Send COPY Command\n"},
          S{"askForCompare", "M\n", "Send COMPARE Command\n"},
          S{"askForVerify", "V\n", "Send VERIFY Command\n"},
          S{"askForErase", "E\n", "Send ERASE Command\n"},
          S{"askForResize", "I\n", "Send RESIZE Command\n"}, S{"localAbort", "t\n", stops}})
        QTest::newRow(qPrintable(row[0])) << row[0].toLatin1() << row[1].toLatin1() << row[2];
}

void TestServer::commands()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, line);
    QFETCH(QString, logged);
    ServerRig rig;
    ServerRig taken(rig.port);
    QVERIFY(taken.log.toPlainText().endsWith(
        "Unable to start the server: The bound address is already in use.\n"));
    QSignalSpy expands(rig.server.get(), &Server::expandTreeView);
    ScriptedPeer peers[2];
    QVERIFY(rig.admit({&peers[0], &peers[1]}));
    QVERIFY(rig.log.toPlainText().endsWith("New connection from 127.0.0.4\n"
                                           "Connect IP: 127.0.0.1 <=> 127.0.0.4 \n"));
    QCOMPARE(expands.count(), 2);
    QCOMPARE(rig.tabs.count(), 5);
    // A settings block whose end has not arrived holds neither its machine's later lines nor
    // other machines' lines.
    S lists;
    connect(rig.server.get(), &Server::reflashFiles, rig.server.get(),
            [&lists](QString &files) { lists << files; });
    peers[0].sendLines({"&M S|Z|V|1|2|P1|P2|end", "&N", "source=P2"});
    peers[1].sendLines({"#still flowing", "&R a.img|b.img"});
    QTRY_COMPARE(lists, S{"a.img|b.img"});
    QTRY_COMPARE(rig.client(1)->frame()->getLogBrowser()->toPlainText(), QString("#still flowing"));
    QCOMPARE(rig.client(0)->sourceName(), QString());
    peers[0].sendLines({"Settings End"});
    QTRY_COMPARE(rig.client(0)->sourceName(), QStringLiteral("P2"));

    rig.tabs.setCurrentIndex(2);
    const QString before = rig.log.toPlainText();
    QVERIFY(rig.invoke(slot.constData()));
    QCOMPARE(rig.tabs.currentIndex(), 0);
    QCOMPARE(rig.log.toPlainText(), before + logged);
    for (int index = 0; index < 2; ++index) {
        QVERIFY(peers[index].waitForReceived(line.size()));
        QCOMPARE(peers[index].received(), line);
        QCOMPARE(rig.client(index)->stopRequested(), slot == "localAbort");
    }
    QVERIFY(!rig.server->stopRequested() && !rig.server->isBusy()); // no transfer runs
}

void TestServer::secondLocalAddressIsRejected()
{
    ServerRig rig;
    ScriptedPeer first;
    QVERIFY(rig.admit({&first}));
    // One box at a time: while it is open, more connections from there are refused in the log,
    // and the rejected machine may leave, its object deleted under the box.
    const QHostAddress other(QStringLiteral("127.0.0.2"));
    const QString refusal =
        "Reject 127.0.0.2: more than one host received connection requirement.\n";
    ModalAnswerer answerer;
    ScriptedPeer more;
    ScriptedPeer rejected;
    bool refusedWhileOpen = false;
    bool goneWhileOpen = false;
    answerer.perform([&](QWidget *box) {
        QPointer<Client> leaving = rig.server->clients().value(1);
        rejected.abort();
        goneWhileOpen =
            leaving && ScriptedPeer::waitUntil([&] { return leaving.isNull(); }, WaitMs);
        more.connectTo(other, rig.port, other);
        refusedWhileOpen = ScriptedPeer::waitUntil(
            [&] { return rig.log.toPlainText().endsWith(refusal); }, WaitMs);
        qobject_cast<QMessageBox *>(box)->button(QMessageBox::Ok)->click();
    });
    rejected.connectTo(other, rig.port, other); // warned about and gone before it returns
    QTRY_COMPARE(answerer.seen().size(), 1);
    QTRY_VERIFY(goneWhileOpen && refusedWhileOpen && !more.isConnected() &&
                !QApplication::activeModalWidget());
    QCOMPARE(answerer.last().title, QStringLiteral("Host Warning"));
    QCOMPARE(answerer.last().text, QStringLiteral("More than one host received connection "
                                                  "requirement.\nReject ::ffff:127.0.0.2\n"));
    QVERIFY(rig.log.toPlainText().contains("127.0.0.2 is disconnected!\n"
                                           "Client 127.0.0.2 is disconnect, remove it!\n"));
    QTRY_VERIFY(rig.model.rowCount() == 1 && rig.tabs.count() == 4);
    QCOMPARE(rig.server->clients().size(), 1);
    // Commands still reach the machine that stayed.
    QVERIFY(rig.invoke("askForVerify"));
    QVERIFY(first.waitForReceived(2));
    QCOMPARE(first.received(), QByteArray("V\n"));

    // The first console address stays the only one, even once every machine has left; the
    // IPv6 loopback is another address too.
    first.disconnectFromHost();
    QTRY_VERIFY(rig.server->isClientEmpty());
    answerer.pressButton(QMessageBox::Ok);
    ScriptedPeer again;
    QVERIFY(rig.admit({&again}, QHostAddress::LocalHostIPv6));
    QTRY_COMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.last().text.section('\n', 1), QStringLiteral("Reject ::1\n"));
    QTRY_VERIFY(!again.isConnected() && rig.server->isClientEmpty());
    ScriptedPeer back;
    QVERIFY(rig.admit({&back}));
    QCOMPARE(rig.server->clients().size(), 1);
}

TARN_TEST_MAIN(TestServer)
#include "tst_server.moc"
