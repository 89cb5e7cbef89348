#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include "app/para.h"
#include "server/server.h"
#include "testkit/testenv.h"

#include <unistd.h>

namespace {
// Set in the copy of this test that runs inside its own network namespace.
const char *const InsideNamespace = "TARN_ANNOUNCE_NETNS";
constexpr int NamespaceRunMs = 60000;
constexpr int DefaultCommandPort = 53275; // nothing else lives in the private namespace

// Two networks on the two ends of a virtual cable, and a third whose interface is down.
const char *const NetworkSetup =
    "link set lo up;link add tarn0 type veth peer name tarn1;"
    "addr add 10.231.1.1/24 broadcast + dev tarn0;addr add 10.231.2.1/24 broadcast + dev tarn1;"
    "link set tarn0 up;link set tarn1 up;link add tarn2 type veth peer name tarn3;"
    "addr add 10.231.3.1/24 broadcast + dev tarn2";
} // namespace

class TestAnnounce : public QObject
{
    Q_OBJECT

private slots:
    void announcesOnEveryNetwork()
    {
        if (!qEnvironmentVariableIsSet(InsideNamespace)) {
            // A real announcement broadcasts on every network of the computer: it only ever runs in
            // a network namespace of its own.
            if (geteuid() != 0 || QStandardPaths::findExecutable("ip").isEmpty() ||
                QProcess::execute("unshare", {"-n", "true"}) != 0)
                QSKIP("needs root, ip and unshare, and private network namespaces permitted");
            qputenv(InsideNamespace, "1");
            QProcess inner;
            inner.setProcessChannelMode(QProcess::MergedChannels);
            inner.start("unshare", {"-n", "--", QCoreApplication::applicationFilePath(),
                                    "announcesOnEveryNetwork"});
            QVERIFY(inner.waitForFinished(NamespaceRunMs));
            const QByteArray output = inner.readAll();
            QVERIFY2(inner.exitStatus() == QProcess::NormalExit && inner.exitCode() == 0,
                     output.constData());
            QVERIFY2(!output.contains("SKIP"), output.constData());
            return;
        }
        for (const QString &step : QString(NetworkSetup).split(';'))
            QCOMPARE(QProcess::execute("ip", step.split(' ')), 0);
        para.tcpport = DefaultCommandPort;
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::AnyIPv4, DefaultCommandPort + 2));
        QStringList announced; // "to from: data"
        connect(&receiver, &QUdpSocket::readyRead, this, [&] {
            while (receiver.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = receiver.receiveDatagram();
                announced << datagram.destinationAddress().toString() + " " +
                                 datagram.senderAddress().toString() + ": " + datagram.data();
            }
        });
        QTextBrowser log;
        QStandardItemModel model;
        QTabWidget tabs;
        tabs.addTab(new QWidget, "Machines Summary");
        Server server(&log, DefaultCommandPort, model.invisibleRootItem(), &tabs);

        // One datagram per IPv4 network, loopback included, each to its broadcast address and
        // carrying the console's own address there; the network whose interface is down fails.
        const int started = log.toPlainText().size();
        QVERIFY(QMetaObject::invokeMethod(&server, "reflashClients"));
        QStringList sent = log.toPlainText().mid(started).split('\n', Qt::SkipEmptyParts);
        sent.sort();
        QCOMPARE(sent, QStringList({"Fails broadcast 10.231.3.255!", "broadcast 10.231.1.255",
                                    "broadcast 10.231.2.255", "broadcast 10.231.3.255",
                                    "broadcast 127.255.255.255"}));
        QTRY_COMPARE(announced.size(), 3);
        QTest::qWait(200); // nothing more may come
        announced.sort();
        QCOMPARE(announced, QStringList({"10.231.1.255 10.231.1.1: 10.231.1.1",
                                         "10.231.2.255 10.231.2.1: 10.231.2.1",
                                         "127.255.255.255 127.0.0.1: 127.0.0.1"}));
    }
};

TARN_TEST_MAIN(TestAnnounce)
#include "tst_announce.moc"
