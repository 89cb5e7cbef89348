#include <QtTest>

#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUdpSocket>

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
const QStringList NetworkSetup{
    "link set lo up",
    "link add tarn0 type veth peer name tarn1",
    "addr add 10.231.1.1/24 broadcast + dev tarn0",
    "addr add 10.231.2.1/24 broadcast + dev tarn1",
    "link set tarn0 up",
    "link set tarn1 up",
    "link add tarn2 type veth peer name tarn3",
    "addr add 10.231.3.1/24 broadcast + dev tarn2",
};

// The test networks are /24 with the console at .1.
QString broadcastOf(const QString &address)
{
    return QString(address).replace(QRegularExpression("\\.1$"), ".255");
}

struct Announced
{
    QHostAddress to;
    QHostAddress from;
    QByteArray data;
};
} // namespace

class TestAnnounce : public QObject
{
    Q_OBJECT

private slots:
    void announcesOnEveryNetwork();

private:
    void runInPrivateNamespace();
    void announceInsideNamespace();
};

void TestAnnounce::announcesOnEveryNetwork()
{
    if (qEnvironmentVariableIsSet(InsideNamespace))
        announceInsideNamespace();
    else
        runInPrivateNamespace();
}

void TestAnnounce::runInPrivateNamespace()
{
    // A real announcement broadcasts on every network of the computer: it only ever runs in a
    // network namespace of its own.
    if (geteuid() != 0)
        QSKIP("needs root for a private network namespace");
    if (QStandardPaths::findExecutable("unshare").isEmpty() ||
        QStandardPaths::findExecutable("ip").isEmpty())
        QSKIP("needs unshare and ip");
    if (QProcess::execute("unshare", {"-n", "true"}) != 0)
        QSKIP("private network namespaces are not permitted here");

    QProcess inner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(InsideNamespace, "1");
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start("unshare",
                {"-n", "--", QCoreApplication::applicationFilePath(), "announcesOnEveryNetwork"});
    QVERIFY(inner.waitForFinished(NamespaceRunMs));
    const QByteArray output = inner.readAll();
    QVERIFY2(inner.exitStatus() == QProcess::NormalExit && inner.exitCode() == 0,
             output.constData());
    QVERIFY2(!output.contains("SKIP"), output.constData());
}

void TestAnnounce::announceInsideNamespace()
{
    for (const QString &step : NetworkSetup)
        QCOMPARE(QProcess::execute("ip", step.split(' ')), 0);

    para.tcpport = DefaultCommandPort;
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::AnyIPv4, DefaultCommandPort + 2));
    QList<Announced> announced;
    connect(&receiver, &QUdpSocket::readyRead, this, [&] {
        while (receiver.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = receiver.receiveDatagram();
            announced.append(
                {datagram.destinationAddress(), datagram.senderAddress(), datagram.data()});
        }
    });

    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    tabs.addTab(new QWidget, "Machines Summary");
    Server server(&log, DefaultCommandPort, model.invisibleRootItem(), &tabs);

    // Every address but loopback is reported, in the platform's order; the first one is used.
    const QString started = log.toPlainText();
    const QRegularExpression hasIp("The server has IP: (\\S+) \\n");
    QStringList addresses;
    for (auto it = hasIp.globalMatch(started); it.hasNext();)
        addresses << it.next().captured(1);
    QCOMPARE(QSet<QString>(addresses.begin(), addresses.end()),
             (QSet<QString>{"10.231.1.1", "10.231.2.1", "10.231.3.1"}));
    QCOMPARE(addresses.size(), 3);
    QVERIFY2(started.endsWith(QStringLiteral("The server is running on IP: %1 port: %2\n")
                                  .arg(addresses.first())
                                  .arg(DefaultCommandPort)),
             qPrintable(started));

    // One datagram per IPv4 network, loopback included, each to its broadcast address and
    // carrying the console's own address there; the network whose interface is down fails.
    QVERIFY(QMetaObject::invokeMethod(&server, "reflashClients"));
    const QString sent = log.toPlainText().mid(started.size());
    QString expected = QStringLiteral("broadcast 127.255.255.255\n");
    for (const QString &address : addresses) {
        const QString broadcast = broadcastOf(address);
        expected += QStringLiteral("broadcast %1\n").arg(broadcast);
        if (address == "10.231.3.1")
            expected += QStringLiteral("Fails broadcast %1!\n").arg(broadcast);
    }
    QCOMPARE(sent, expected);

    QTRY_COMPARE(announced.size(), 3);
    QTest::qWait(200); // nothing more may come
    QCOMPARE(announced.size(), 3);
    QSet<QString> carried;
    for (const Announced &datagram : announced) {
        const QString own = QString::fromLatin1(datagram.data);
        carried << own;
        QCOMPARE(datagram.from.toString(), own);
        QCOMPARE(datagram.to.toString(),
                 own == "127.0.0.1" ? QStringLiteral("127.255.255.255") : broadcastOf(own));
    }
    QCOMPARE(carried, (QSet<QString>{"127.0.0.1", "10.231.1.1", "10.231.2.1"}));
}

TARN_TEST_MAIN(TestAnnounce)
#include "tst_announce.moc"
