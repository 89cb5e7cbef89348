#include <QtTest>

#include <QListWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QTextCodec>

#include "app/para.h"
#include "client/client.h"
#include "client/framedevice.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

namespace {
const QHostAddress MachineAddress(QStringLiteral("127.0.0.3"));
qint64 residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

const QString ThreePorts = QStringLiteral("&M M1|Z7|Lynx|1.0|3|P1:|P2:|P3:|end");

// One machine object on a real loopback connection, inside the widgets the window hands it.
struct MachineRig
{
    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    QTcpServer listener;
    ScriptedPeer peer;
    QObject owner;
    QPointer<Client> client;
    int barriers = 0;

    MachineRig()
    {
        for (const char *page : {"Machines Summary", "Global Log", "Files"})
            tabs.addTab(new QWidget, page);
    }

    bool connect()
    {
        if (!listener.listen(QHostAddress::Any, 0) ||
            !peer.connectTo(QHostAddress::LocalHost, listener.serverPort(), MachineAddress) ||
            !ScriptedPeer::waitUntil([this] { return listener.hasPendingConnections(); },
                                     ScriptedPeer::DefaultTimeoutMs))
            return false;
        client = new Client(&log, listener.nextPendingConnection(), model.invisibleRootItem(),
                            &tabs, &owner);
        return true;
    }

    // Everything sent before has been handled once a file-list line sent after it shows.
    bool settle()
    {
        const QString mark = QStringLiteral("barrier%1").arg(++barriers);
        peer.sendLine(QStringLiteral("&R ") + mark);
        auto *files = client->frame()->findChild<QListWidget *>(QStringLiteral("listWidget"));
        return ScriptedPeer::waitUntil(
            [files, mark] { return files->count() == 1 && files->item(0)->text() == mark; },
            ScriptedPeer::DefaultTimeoutMs);
    }

    bool sendAndSettle(const QStringList &lines)
    {
        peer.sendLines(lines);
        return settle();
    }

    QStandardItem *machineCell(int column) { return model.item(client->rowInItems(), column); }
    QString machineText(int column) { return machineCell(column)->text(); }
    int portCount() { return machineCell(Client::IndexDisplayName)->rowCount(); }
    QString portText(int row, int column)
    {
        return machineCell(Client::IndexDisplayName)->child(row, column)->text();
    }
    QStringList portRow(int row)
    {
        QStringList cells;
        for (int column = 0; column < Client::ColumnCount; ++column)
            cells << portText(row, column);
        return cells;
    }
    QStringList portNames()
    {
        QStringList names;
        for (int row = 0; row < portCount(); ++row)
            names << portText(row, Client::IndexDisplayName);
        return names;
    }
    QString machineLog() { return client->frame()->getLogBrowser()->toPlainText(); }
    QString settingsText()
    {
        return client->frame()
            ->findChild<QTextBrowser *>(QStringLiteral("textBrowserSettings"))
            ->toPlainText();
    }
    QTcpSocket *socket() { return client->findChild<QTcpSocket *>(); }
};
} // namespace

class TestClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newMachineHasRowAndTab();
    void framing();
    void emptyLineEndsThePass();
    void emptyLinesNeverStallTheMachine();
    void overlongLineIsDroppedWithANote();
    void machineInformation();
    void laterMachineInformationAddsPorts();
    void shortMachineInformation();
    void identification();
    void identificationMovesAccessName();
    void identificationBeyondSixthPort();
    void deviceLines_data();
    void deviceLines();
    void percentages_data();
    void percentages();
    void unmatchedLinesGoToLowestIdentifiedRow();
    void shortDeviceLinesNeverFail();
    void unknownGlobalKindsGoToLog_data();
    void unknownGlobalKindsGoToLog();
    void runStartBlanksRows();
    void runEndSavesLog();
    void runEndWithoutSaveLog();
    void runLogNameIsSanitised();
    void runTotalAndNonSourceMode();
    void terminationRequest();
    void settingsBlock();
    void settingsBlockTwiceKeepsOneMark();
    void settingsBlockWithoutSourceClearsMark();
    void settingsBlockContinuesAtLaterPass();
    void fileList();
    void reencoding_data();
    void reencoding();
    void askStopSendsStopLine();
    void writeSendsLineAsGiven();
    void disconnectLifeCycle();

private:
    std::unique_ptr<MachineRig> rig;
    QTextCodec *localeCodec = nullptr;
};

void TestClient::init()
{
    para.translate = 0;
    para.savelog = true;
    localeCodec = QTextCodec::codecForLocale();
    rig = std::make_unique<MachineRig>();
    QVERIFY(rig->connect());
}

void TestClient::cleanup()
{
    rig.reset();
    QTextCodec::setCodecForLocale(localeCodec);
    for (const QString &file : QDir::current().entryList({"*.txt"}, QDir::Files))
        QFile::remove(file);
}

void TestClient::newMachineHasRowAndTab()
{
    QCOMPARE(rig->client->address, QStringLiteral("127.0.0.3"));
    QCOMPARE(rig->log.toPlainText(), QStringLiteral("New connection from 127.0.0.3\n"));
    QCOMPARE(rig->model.rowCount(), 1);
    QCOMPARE(rig->client->rowInItems(), 0);
    const QStringList row{"::ffff:127.0.0.3", "K31", "BlueMarshLynx", "", "", "", ""};
    for (int column = 0; column < Client::ColumnCount; ++column)
        QCOMPARE(rig->machineText(column), row.at(column));
    QCOMPARE(rig->client->getName(), QString());

    QCOMPARE(rig->tabs.count(), 4);
    QCOMPARE(rig->tabs.widget(1), rig->client->tabPage());
    QCOMPARE(rig->tabs.tabText(1), QString());
    QCOMPARE(rig->client->frame()->findChild<QTabWidget *>()->currentIndex(), 1);

    // A second machine's row comes last, its tab first.
    MachineRig &first = *rig;
    ScriptedPeer other;
    QVERIFY(other.connectTo(QHostAddress::LocalHost, first.listener.serverPort()));
    QVERIFY(ScriptedPeer::waitUntil([&] { return first.listener.hasPendingConnections(); }, 5000));
    auto *second = new Client(&first.log, first.listener.nextPendingConnection(),
                              first.model.invisibleRootItem(), &first.tabs, &first.owner);
    QCOMPARE(second->rowInItems(), 1);
    QCOMPARE(first.tabs.widget(1), second->tabPage());
    QCOMPARE(first.tabs.widget(2), first.client->tabPage());
}

void TestClient::framing()
{
    QSignalSpy reads(rig->socket(), &QTcpSocket::readyRead);
    rig->peer.send("#one\n#two\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#one\n#two"));

    reads.clear();
    rig->peer.send("#spl");
    QTRY_VERIFY(!reads.isEmpty());
    QCOMPARE(rig->machineLog(), QStringLiteral("#one\n#two"));
    rig->peer.send("it\r\n#crlf\r\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#one\n#two\n#split\n#crlf"));
    QVERIFY(!rig->machineLog().contains('\r'));
}

void TestClient::emptyLineEndsThePass()
{
    QSignalSpy reads(rig->socket(), &QTcpSocket::readyRead);
    rig->peer.send("#before\n\n#behind\n");
    QTRY_VERIFY(!reads.isEmpty());
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before"));
    QTest::qWait(50); // nothing more may arrive without new data
    QCOMPARE(rig->machineLog(), QStringLiteral("#before"));
    rig->peer.send("#next\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before\n#behind\n#next"));
}

void TestClient::emptyLinesNeverStallTheMachine()
{
    // Each empty line ends a pass. With more behind it than the console holds at once, the
    // console goes on by itself: it must never wait for data its own full buffers hold back.
    rig->socket()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    rig->peer.socket()->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
    const int passes = 128 * 1024;
    QByteArray flood;
    for (int i = 0; i < passes; ++i)
        flood += "&J\n\n";
    rig->peer.send(flood + "#after\n");
    QVERIFY(rig->peer.flush(30000));
    QTRY_COMPARE(rig->socket()->bytesAvailable(), qint64(0));
    QVERIFY(rig->client->nonSourceMode());
    QVERIFY(rig->peer.isConnected());
}

void TestClient::overlongLineIsDroppedWithANote()
{
    // 32 MiB without a line feed: the console never holds more than about its line limit.
    const qint64 length = 32 * 1024 * 1024 + 1;
    const QByteArray chunk(64 * 1024, 'x');
    rig->peer.send("#before\n#");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before"));
    const qint64 residentBefore = residentKiB();
    for (qint64 sent = 1; sent < length; sent += chunk.size()) {
        rig->peer.send(chunk.left(int(qMin<qint64>(chunk.size(), length - sent))));
        if (rig->peer.socket()->bytesToWrite() > 1024 * 1024)
            QVERIFY(rig->peer.flush());
    }
    QVERIFY(rig->peer.flush());
    QTRY_COMPARE(rig->socket()->bytesAvailable(), qint64(0));
#ifndef __SANITIZE_ADDRESS__ // the sanitizer keeps freed memory for a while
    QVERIFY2(residentKiB() - residentBefore < 8 * 1024,
             qPrintable(QString::number(residentKiB() - residentBefore)));
#else
    Q_UNUSED(residentBefore)
#endif
    rig->peer.send("\n#after\n");
    QTRY_VERIFY(rig->machineLog().endsWith("#after"));
    const QStringList lines = rig->machineLog().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("#before"));
    QVERIFY2(lines.at(1).contains(QString::number(length)), qPrintable(lines.at(1)));
    QVERIFY(rig->peer.isConnected());

    // Just above the limit in one piece, and a line exactly at the limit that is kept.
    QByteArray atLimit(Client::MaxLineBytes, 'y');
    atLimit[0] = '#';
    rig->peer.send(atLimit + "z\n" + atLimit + "\n");
    QTRY_COMPARE(rig->machineLog().split('\n').size(), 5);
    QVERIFY(
        rig->machineLog().split('\n').at(3).contains(QString::number(Client::MaxLineBytes + 1)));
    QCOMPARE(rig->machineLog().split('\n').at(4), QString::fromLatin1(atLimit));
}

void TestClient::machineInformation()
{
    QVERIFY(rig->sendAndSettle({"&M M1|Z7|Lynx|2.0.1|2|SATA1:|SATA2:|end"}));
    QCOMPARE(rig->client->getName(), QStringLiteral("M1"));
    QCOMPARE(rig->machineText(Client::IndexDisplayName), QStringLiteral("M1"));
    QCOMPARE(rig->machineText(Client::IndexModelName), QStringLiteral("Z7"));
    QCOMPARE(rig->machineText(Client::IndexVendorName), QStringLiteral("Lynx"));
    QCOMPARE(rig->machineText(Client::IndexCapacity), QString());
    QCOMPARE(rig->machineText(Client::IndexAccessName), QStringLiteral("2.0.1"));
    QCOMPARE(rig->tabs.tabText(1), QStringLiteral("M1"));
    QCOMPARE(rig->client->frame()->windowTitle(), QStringLiteral("M1"));
    const QString status = rig->client->frame()
                               ->findChild<QTextBrowser *>(QStringLiteral("textBrowserStatus"))
                               ->toPlainText();
    QVERIFY(status.contains("M1") && status.contains("Z7") && status.contains("2.0.1"));
    QCOMPARE(rig->portNames(), (QStringList{"SATA1", "SATA2"}));
    QCOMPARE(rig->portRow(1), (QStringList{"SATA2", "", "", "", "", "", ""}));
}

void TestClient::laterMachineInformationAddsPorts()
{
    QVERIFY(rig->sendAndSettle({ThreePorts, "&M M2|Q|R|3.0|1|X1|end"}));
    QCOMPARE(rig->client->getName(), QStringLiteral("M2"));
    QCOMPARE(rig->tabs.tabText(1), QStringLiteral("M2"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "P2", "P3", "X1"}));
    const QString status = rig->client->frame()
                               ->findChild<QTextBrowser *>(QStringLiteral("textBrowserStatus"))
                               ->toPlainText();
    QVERIFY(status.contains("M1"));
    QVERIFY(!status.contains("M2"));
}

void TestClient::shortMachineInformation()
{
    QVERIFY(rig->sendAndSettle({"&M Solo", "&M", "&M A|B|C|D|onlycount"}));
    QCOMPARE(rig->client->getName(), QStringLiteral("A"));
    QCOMPARE(rig->machineText(Client::IndexAccessName), QStringLiteral("D"));
    QCOMPARE(rig->portCount(), 0);
}

void TestClient::identification()
{
    QVERIFY(rig->sendAndSettle({ThreePorts, "@/dev/sdb A P2 ,500107862016,WD Blue,WDC"}));
    QCOMPARE(rig->portRow(1),
             (QStringList{"P2", "WD Blue", "WDC", "500107862016", "", "", "/dev/sdb"}));
    QCOMPARE(rig->portRow(0), (QStringList{"P1", "", "", "", "", "", ""}));

    // A port marked as source matches without its mark; status and percentage are blanked.
    QVERIFY(
        rig->sendAndSettle({"&N", "source=P3", "Settings End", "&I 100", "@/dev/sdc A P3 ,9,M,V",
                            "@/dev/sdc C 0 50", "@/dev/sdc S busy", "@/dev/sdd A P3 ,1,M2,V2"}));
    QCOMPARE(rig->portRow(2), (QStringList{"*P3", "M2", "V2", "1", "", "", "/dev/sdd"}));

    // An unknown port changes no row.
    QVERIFY(rig->sendAndSettle({"@/dev/sde A P9 ,1,M,V"}));
    QCOMPARE(rig->portRow(0), (QStringList{"P1", "", "", "", "", "", ""}));
    QVERIFY(!rig->machineLog().contains("P9"));
}

void TestClient::identificationMovesAccessName()
{
    QVERIFY(rig->sendAndSettle({ThreePorts, "@/dev/sda A P1 ,1,M,V", "@/dev/sda A P2 ,1,M,V"}));
    QCOMPARE(rig->portText(0, Client::IndexAccessName), QString());
    QCOMPARE(rig->portText(1, Client::IndexAccessName), QStringLiteral("/dev/sda"));
    // Only exact equals move; a longer name stays.
    QVERIFY(rig->sendAndSettle({"@/dev/sda1 A P3 ,1,M,V", "@/dev/sda A P1 ,1,M,V"}));
    QCOMPARE(rig->portText(0, Client::IndexAccessName), QStringLiteral("/dev/sda"));
    QCOMPARE(rig->portText(1, Client::IndexAccessName), QString());
    QCOMPARE(rig->portText(2, Client::IndexAccessName), QStringLiteral("/dev/sda1"));
}

void TestClient::identificationBeyondSixthPort()
{
    QVERIFY(rig->sendAndSettle({"&M M8|Z|V|1|8|P1|P2|P3|P4|P5|P6|P7|P8|end", "&I 1000",
                                "@/dev/sdh A P8 ,4000,M8,V8", "@/dev/sdh C 0 500"}));
    QCOMPARE(rig->portRow(7), (QStringList{"P8", "M8", "V8", "4000", "", "50%", "/dev/sdh"}));
    QCOMPARE(rig->machineText(Client::IndexPercentage), QStringLiteral("50%"));

    // Without a source, the eighth port has no stored capacity: its progress changes nothing.
    QVERIFY(rig->sendAndSettle({"&J", "@/dev/sdh C 0 1000", "@/dev/sdh O"}));
    QCOMPARE(rig->portText(7, Client::IndexPercentage), QStringLiteral("50%"));
    QCOMPARE(rig->portText(7, Client::IndexStatus), QStringLiteral("OK"));
    // It is not the lowest identified slot either: an unmatched line finds no row.
    QVERIFY(rig->sendAndSettle({"@/dev/none N"}));
    QCOMPARE(rig->portText(7, Client::IndexStatus), QStringLiteral("OK"));
}

void TestClient::deviceLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("logged");

    QTest::newRow("fail") << "@/dev/sdb N" << int(Client::IndexStatus) << "NG" << false;
    QTest::newRow("pass") << "@/dev/sdb O" << int(Client::IndexStatus) << "OK" << false;
    QTest::newRow("pass, kind word")
        << "@/dev/sdb Okay-ish 3" << int(Client::IndexStatus) << "OK" << false;
    QTest::newRow("state") << "@/dev/sdb S Verifying" << int(Client::IndexStatus) << "Verifying"
                           << false;
    QTest::newRow("progress, kind word")
        << "@/dev/sdb Copy 1 250" << int(Client::IndexPercentage) << "25%" << false;
    QTest::newRow("unknown kind") << "@/dev/sdb X 1" << int(Client::IndexStatus) << "" << true;
    QTest::newRow("empty kind token") << "@/dev/sdb " << int(Client::IndexStatus) << "" << true;
    QTest::newRow("no kind token") << "@/dev/sdb" << int(Client::IndexStatus) << "" << true;
    QTest::newRow("marker alone") << "@" << int(Client::IndexStatus) << "" << true;
    QTest::newRow("device log line")
        << "#/dev/sdb bad sector" << int(Client::IndexStatus) << "" << true;
}

void TestClient::deviceLines()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, cell);
    QFETCH(bool, logged);

    QVERIFY(rig->sendAndSettle({ThreePorts, "&I 1000", "@/dev/sdb A P2 ,1000,M,V", line}));
    QCOMPARE(rig->portText(1, column), cell);
    QCOMPARE(rig->machineLog(), logged ? line : QString());
    if (logged)
        QCOMPARE(rig->portRow(1), (QStringList{"P2", "M", "V", "1000", "", "", "/dev/sdb"}));
}

void TestClient::percentages_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("percentage");

    const QString identify = QStringLiteral("@/dev/sdb A P2 ,2000,M,V");
    QTest::newRow("57") << QStringList{"&I 1000", identify, "@/dev/sdb C 0 570"} << "57%";
    QTest::newRow("105") << QStringList{"&I 1000", identify, "@/dev/sdb C 0 1050"} << "105%";
    QTest::newRow("done not a number")
        << QStringList{"&I 1000", identify, "@/dev/sdb C 0 lots"} << "0%";
    QTest::newRow("no total yet") << QStringList{identify, "@/dev/sdb C 0 570"} << "";
    QTest::newRow("zero total") << QStringList{"&I 0", identify, "@/dev/sdb C 0 570"} << "";
    QTest::newRow("total not a number")
        << QStringList{"&I lots", identify, "@/dev/sdb C 0 570"} << "";
    QTest::newRow("non-source uses the device capacity")
        << QStringList{"&I 1000", identify, "&J", "@/dev/sdb C 0 500"} << "25%";
    QTest::newRow("non-source with zero device capacity")
        << QStringList{"&I 1000", "@/dev/sdb A P2 ,0,M,V", "&J", "@/dev/sdb C 0 500"} << "";
    QTest::newRow("identification ends non-source mode")
        << QStringList{"&I 1000", "&J", identify, "@/dev/sdb C 0 500"} << "50%";
    QTest::newRow("no target row") << QStringList{"&I 1000", "@/dev/sdb C 0 500"} << "";
}

void TestClient::percentages()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, percentage);

    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts} + lines));
    QCOMPARE(rig->portText(1, Client::IndexPercentage), percentage);
    QCOMPARE(rig->machineText(Client::IndexPercentage), percentage);
    QCOMPARE(rig->portText(0, Client::IndexPercentage), QString());
}

void TestClient::unmatchedLinesGoToLowestIdentifiedRow()
{
    QVERIFY(rig->sendAndSettle({ThreePorts, "&I 100", "@/dev/sdc A P3 ,1,M,V",
                                "@/dev/sdb A P2 ,1,M,V", "@/dev/other C 0 40", "@/dev/other N"}));
    QCOMPARE(rig->portText(1, Client::IndexPercentage), QStringLiteral("40%"));
    QCOMPARE(rig->portText(1, Client::IndexStatus), QStringLiteral("NG"));
    QCOMPARE(rig->portText(2, Client::IndexStatus), QString());

    // A row also answers for longer names that contain its access name.
    QVERIFY(rig->sendAndSettle({"@/dev/sdc1 S Busy"}));
    QCOMPARE(rig->portText(2, Client::IndexStatus), QStringLiteral("Busy"));
}

void TestClient::shortDeviceLinesNeverFail()
{
    QVERIFY(
        rig->sendAndSettle({"&M E|Z|V|1|2||P2|end", "&S", "&I 10", "@x A", "@x C", "@x C 1", "@x S",
                            "@x N", "@ A", "@ C  ", "&", "&I", "&T", "&F", "&R", "&J", "&M"}));
    QVERIFY(rig->peer.isConnected());
    QCOMPARE(rig->portCount(), 2);
    QCOMPARE(rig->client->getName(), QString());
    QVERIFY(rig->machineLog().contains("\n&\n"));
}

void TestClient::unknownGlobalKindsGoToLog_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("marker alone") << "&";
    QTest::newRow("unknown kind") << "&Z 12";
    QTest::newRow("lower-case kind") << "&s COPY";
    QTest::newRow("space kind") << "&  x";
}

void TestClient::unknownGlobalKindsGoToLog()
{
    QFETCH(QString, line);
    QVERIFY(rig->sendAndSettle({ThreePorts, line}));
    QCOMPARE(rig->machineLog(), line);
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
}

void TestClient::runStartBlanksRows()
{
    QVERIFY(
        rig->sendAndSettle({ThreePorts, "&I 100", "@/dev/sda A P1 ,1,M,V", "@/dev/sdb A P2 ,1,M,V",
                            "@/dev/sda C 0 50", "@/dev/sdb O", "#old line"}));
    const QString globalBefore = rig->log.toPlainText();
    QVERIFY(rig->sendAndSettle({"&S?COPY"}));
    QCOMPARE(rig->portRow(0), (QStringList{"P1", "", "", "", "", "", "/dev/sda"}));
    QCOMPARE(rig->portRow(1), (QStringList{"P2", "", "", "", "", "", ""}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QStringLiteral("COPY"));
    QCOMPARE(rig->machineLog(), QStringLiteral("Start COPY\n"));
    QCOMPARE(rig->log.toPlainText(), globalBefore + "M1 start COPY.\n");

    // Identifications of the last run are forgotten: unmatched lines find no row.
    QVERIFY(rig->sendAndSettle({"@/dev/other O"}));
    QCOMPARE(rig->portText(0, Client::IndexStatus), QString());
    QCOMPARE(rig->portText(1, Client::IndexStatus), QString());
    // Port 0 kept its access name, so it is still found by it.
    QVERIFY(rig->sendAndSettle({"@/dev/sda N"}));
    QCOMPARE(rig->portText(0, Client::IndexStatus), QStringLiteral("NG"));
}

void TestClient::runEndSavesLog()
{
    QVERIFY(
        rig->sendAndSettle({ThreePorts, "&S COPY", "#line one", QString::fromUtf8("#設備 ok")}));
    const QString shown = rig->machineLog();
    const QString globalBefore = rig->log.toPlainText();
    QVERIFY(rig->sendAndSettle({"&F all passed"}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
    QCOMPARE(rig->log.toPlainText(), globalBefore + "M1 complete all passed\n");

    const QStringList files = QDir::current().entryList({"*.txt"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression("^M1-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.txt$")
                 .match(files.first())
                 .hasMatch(),
             qPrintable(files.first()));
    QFile file(files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, QTextCodec::codecForLocale()->fromUnicode(shown));
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
}

void TestClient::runEndWithoutSaveLog()
{
    para.savelog = false;
    QVERIFY(rig->sendAndSettle({ThreePorts, "&S COPY", "&F done"}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
    QVERIFY(QDir::current().entryList({"*.txt"}, QDir::Files).isEmpty());
}

void TestClient::runLogNameIsSanitised()
{
    QDir::current().mkdir("inner");
    QVERIFY(QDir::setCurrent("inner"));
    QVERIFY(rig->sendAndSettle({"&M ../evil/.x|Z|V|1|0|end", "&S COPY", "&F done"}));
    const QStringList files = QDir::current().entryList({"*.txt"}, QDir::Files);
    QVERIFY(QDir::setCurrent(".."));
    QCOMPARE(files.size(), 1);
    QVERIFY2(files.first().startsWith("_._evil_.x-"), qPrintable(files.first()));
    QVERIFY(QDir::current().entryList({"*evil*"}).isEmpty());
    QCOMPARE(rig->client->getName(), QStringLiteral("../evil/.x"));
    QCOMPARE(rig->machineText(Client::IndexDisplayName), QStringLiteral("../evil/.x"));
    QVERIFY(rig->log.toPlainText().contains("../evil/.x complete done\n"));
    QDir("inner").removeRecursively();
}

void TestClient::runTotalAndNonSourceMode()
{
    QVERIFY(rig->sendAndSettle({ThreePorts, "&I 2000"}));
    QCOMPARE(rig->client->runCapacity(), quint64(2000));
    QVERIFY(!rig->client->nonSourceMode());
    QVERIFY(rig->sendAndSettle({"&J ignored", "&I nonsense"}));
    QCOMPARE(rig->client->runCapacity(), quint64(0));
    QVERIFY(rig->client->nonSourceMode());
    QVERIFY(rig->sendAndSettle({"@/dev/sdz A P9 ,1,M,V"}));
    QVERIFY(!rig->client->nonSourceMode());
}

void TestClient::terminationRequest()
{
    QSignalSpy aborts(rig->client.data(), &Client::abortServer);
    QVERIFY(rig->sendAndSettle({ThreePorts, "&S COPY", "&T disk gone"}));
    QCOMPARE(aborts.count(), 1);
    QCOMPARE(aborts.first().first().value<Client *>(), rig->client.data());
    QVERIFY(rig->client->stopRequested());
    QVERIFY(rig->log.toPlainText().endsWith("M1 ask for termination (disk gone)!\n"));
    QCOMPARE(rig->machineLog(), QStringLiteral("Start COPY\n\nAsk for terminate!\n"));
    QCOMPARE(rig->machineText(Client::IndexStatus), QStringLiteral("COPY"));
    QVERIFY(rig->client->isConnected());
    QVERIFY(QDir::current().entryList({"*.txt"}, QDir::Files).isEmpty());
}

void TestClient::settingsBlock()
{
    QVERIFY(rig->sendAndSettle(
        {ThreePorts, "&N", "", "source=P2", "speed=max", "Settings End", "#after"}));
    QCOMPARE(rig->settingsText(), QStringLiteral("source=P2\nspeed=max\n"));
    QCOMPARE(rig->client->sourceName(), QStringLiteral("P2"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "*P2", "P3"}));
    QCOMPARE(rig->machineLog(), QStringLiteral("#after"));

    // A new block replaces the page and moves the mark.
    QVERIFY(rig->sendAndSettle({"&N", "source=P3", "Settings End"}));
    QCOMPARE(rig->settingsText(), QStringLiteral("source=P3\n"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "P2", "*P3"}));
}

void TestClient::settingsBlockTwiceKeepsOneMark()
{
    const QStringList block{"&N", "source=P1", "Settings End"};
    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts} + block + block));
    QCOMPARE(rig->portNames(), (QStringList{"*P1", "P2", "P3"}));
}

void TestClient::settingsBlockWithoutSourceClearsMark()
{
    QVERIFY(rig->sendAndSettle({"&M M|Z|V|1|3|P1||P3|end", "&N", "source=P1", "Settings End"}));
    QCOMPARE(rig->portNames(), (QStringList{"*P1", "", "P3"}));
    QVERIFY(rig->sendAndSettle({"&N", "mode=fast", "Settings End"}));
    QCOMPARE(rig->client->sourceName(), QString());
    // No port is the source, not even the one without a name.
    QCOMPARE(rig->portNames(), (QStringList{"P1", "", "P3"}));
}

void TestClient::settingsBlockContinuesAtLaterPass()
{
    QSignalSpy reads(rig->socket(), &QTcpSocket::readyRead);
    QVERIFY(rig->sendAndSettle({ThreePorts}));
    reads.clear();
    rig->peer.sendLines({"&N", "source=P2", "#held"});
    QTRY_VERIFY(!reads.isEmpty());
    QTRY_COMPARE(rig->settingsText(), QStringLiteral("source=P2\n#held\n"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "P2", "P3"}));

    // The lines of the next pass still belong to the block, the empty one included.
    rig->peer.sendLines({"", "&S COPY", "Settings End", "#after"});
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#after"));
    QCOMPARE(rig->settingsText(), QStringLiteral("source=P2\n#held\n&S COPY\n"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "*P2", "P3"}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
}

void TestClient::fileList()
{
    QStringList lists;
    connect(rig->client.data(), &Client::reflashFiles, this,
            [&lists](QString &files) { lists << files; });
    QVERIFY(rig->sendAndSettle({"&R a.img|b.img", "&R "}));
    QCOMPARE(lists.mid(0, 2), (QStringList{"a.img|b.img", ""}));
    auto *files = rig->client->frame()->findChild<QListWidget *>();
    rig->peer.sendLine("&R ");
    QTRY_COMPARE(files->item(0)->text(), QString());
    QCOMPARE(files->count(), 1);
}

void TestClient::reencoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<int>("translate");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("name");

    const QByteArray utf8Name = QString::fromUtf8("機器一號").toUtf8();
    QTest::newRow("chinese installation")
        << QByteArray("UTF-8") << 1 << utf8Name << QString::fromUtf8("機器一號");
    QTest::newRow("english installation, ascii")
        << QByteArray("ISO-8859-1") << 0 << QByteArray("M-7") << "M-7";
    QTest::newRow("english installation, local bytes")
        << QByteArray("ISO-8859-1") << 0 << QByteArray("\xe9t\xe9") << QString::fromUtf8("été");
    QTest::newRow("switched to chinese before restart")
        << QByteArray("ISO-8859-1") << 2 << QByteArray("\xe9t\xe9")
        << QString(QChar(QChar::ReplacementCharacter)) + 't' + QChar(QChar::ReplacementCharacter);
}

void TestClient::reencoding()
{
    QFETCH(QByteArray, codec);
    QFETCH(int, translate);
    QFETCH(QByteArray, sent);
    QFETCH(QString, name);

    // The command stream takes the locale codec when the machine connects.
    rig.reset();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
    para.translate = translate;
    para.savelog = false;
    rig = std::make_unique<MachineRig>();
    QVERIFY(rig->connect());
    rig->peer.send("&M " + sent + "|Z|V|1|1|" + sent + "|end\n&S COPY\n&F ok\n");
    QVERIFY(rig->settle());
    QCOMPARE(rig->client->getName(), name);
    QCOMPARE(rig->machineText(Client::IndexDisplayName), name);
    QCOMPARE(rig->tabs.tabText(1), name);
    QCOMPARE(rig->portNames(), QStringList{name});
    QVERIFY(rig->log.toPlainText().endsWith(name + " complete ok\n"));
}

void TestClient::askStopSendsStopLine()
{
    rig->client->askStop();
    QVERIFY(rig->peer.waitForReceived(2));
    QCOMPARE(rig->peer.received(), QByteArray("t\n"));
    QVERIFY(rig->client->stopRequested());
    QVERIFY(rig->log.toPlainText().endsWith("Client 127.0.0.3 is being asked stop!\n"));
}

void TestClient::writeSendsLineAsGiven()
{
    QString line = "S image 01.img\n";
    rig->client->write(line);
    QVERIFY(rig->peer.waitForReceived(line.size()));
    QCOMPARE(rig->peer.received(), line.toUtf8());
}

void TestClient::disconnectLifeCycle()
{
    QVERIFY(rig->sendAndSettle({ThreePorts}));
    QPointer<QTcpSocket> socket = rig->socket();
    QPointer<QWidget> page = rig->client->tabPage();
    bool aliveAtSignal = false;
    bool stopAtSignal = false;
    int emitted = 0;
    connect(rig->client.data(), &Client::abortServer, this, [&](Client *client) {
        ++emitted;
        aliveAtSignal = client == rig->client.data();
        stopAtSignal = client->stopRequested();
        QCOMPARE(rig->model.rowCount(), 0);
    });
    rig->peer.disconnectFromHost();
    QTRY_COMPARE(emitted, 1);
    QVERIFY(aliveAtSignal);
    QVERIFY(stopAtSignal);
    QVERIFY(rig->log.toPlainText().endsWith("127.0.0.3 is disconnected!\n"));
    QTRY_VERIFY(rig->client.isNull());
    QCOMPARE(emitted, 1);
    QVERIFY(socket.isNull());
    QCOMPARE(rig->tabs.count(), 3);
    QTRY_VERIFY(page.isNull());
}

TARN_TEST_MAIN(TestClient)
#include "tst_client.moc"
