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
#include "client/logpage.h"
#include "client/wire/csv.h"
#include "client/wire/runrecord.h"
#include "testkit/processusage.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

using S = QStringList;

namespace {
const QHostAddress MachineAddress(QStringLiteral("127.0.0.3"));
const QString ThreePorts = QStringLiteral("&M M1|Z7|Lynx|1.0|3|P1:|P2:|P3:|end");
// Lines enough to be kept in a temporary file, each short enough to be shown whole.
const QStringList Chatter(QVector<QString>(6, QString(8000, 'x')).toList());

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

    QString machineText(int column) { return model.item(client->rowInItems(), column)->text(); }
    int portCount() { return model.item(client->rowInItems())->rowCount(); }
    QString portText(int row, int column)
    {
        return model.item(client->rowInItems())->child(row, column)->text();
    }
    // Every cell of a port row, or of the machine row itself for row -1.
    QStringList portRow(int row)
    {
        QStringList cells;
        for (int column = 0; column < Client::ColumnCount; ++column)
            cells << (row < 0 ? machineText(column) : portText(row, column));
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
    QString pageText(const char *browser)
    {
        return client->frame()->findChild<QTextBrowser *>(browser)->toPlainText();
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
    void emptyLinesNeverStallTheMachine();
    void overlongLineIsDroppedWithANote();
    void machineInformation_data();
    void machineInformation();
    void identification();
    void identificationBeyondSixthPort();
    void lines_data();
    void lines();
    void unmatchedLinesGoToLowestIdentifiedRow();
    void shortDeviceLinesNeverFail();
    void runStartBlanksRows();
    void runLog_data();
    void runLog();
    void runRecords_data();
    void runRecords();
    void runRecordsFileUnwritable();
    void terminationRequest();
    void settingsBlock_data();
    void settingsBlock();
    void settingsBlockContinuesAtLaterPass();
    void reencoding_data();
    void reencoding();
    void disconnectLifeCycle();

private:
    // Files open (unnamed ones too) or left in the temporary folder, where run logs are kept.
    int spools() const
    {
        int open = 0;
        const QDir fds("/proc/self/fd");
        for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System))
            open += QFile::symLinkTarget(fds.filePath(fd)).startsWith(spoolDir->path() + '/');
        return open + QDir(spoolDir->path()).entryList(QDir::Files).size();
    }

    std::unique_ptr<MachineRig> rig;
    QTextCodec *localeCodec = nullptr;
    QString workDir;
    const std::unique_ptr<QTemporaryDir> spoolDir = std::make_unique<QTemporaryDir>();
};

void TestClient::init()
{
    para.translate = 0;
    para.savelog = true;
    localeCodec = QTextCodec::codecForLocale();
    workDir = QDir::currentPath();
    qputenv("TMPDIR", spoolDir->path().toLocal8Bit());
    rig = std::make_unique<MachineRig>();
    QVERIFY(rig->connect());
}

void TestClient::cleanup()
{
    rig.reset();
    QTextCodec::setCodecForLocale(localeCodec);
    QDir::setCurrent(workDir);
    QDir(workDir).removeRecursively();
    QDir().mkpath(workDir);
    QDir::setCurrent(workDir);
}

void TestClient::newMachineHasRowAndTab()
{
    QCOMPARE(rig->client->address, QStringLiteral("127.0.0.3"));
    QCOMPARE(rig->log.toPlainText(), QStringLiteral("New connection from 127.0.0.3\n"));
    QCOMPARE(rig->portRow(-1),
             (QStringList{"::ffff:127.0.0.3", "K31", "BlueMarshLynx", "", "", "", ""}));
    QCOMPARE(rig->tabs.count(), 4);
    QCOMPARE(rig->tabs.widget(1), rig->client->tabPage());
    QCOMPARE(rig->tabs.tabText(1), QString());

    // A second machine's row comes last, its tab first.
    ScriptedPeer other;
    QVERIFY(other.connectTo(QHostAddress::LocalHost, rig->listener.serverPort()));
    QVERIFY(ScriptedPeer::waitUntil([&] { return rig->listener.hasPendingConnections(); }, 5000));
    auto *second = new Client(&rig->log, rig->listener.nextPendingConnection(),
                              rig->model.invisibleRootItem(), &rig->tabs, &rig->owner);
    QCOMPARE(second->rowInItems(), 1);
    QCOMPARE(rig->tabs.widget(1), second->tabPage());
    QCOMPARE(rig->tabs.widget(2), rig->client->tabPage());
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

    // An empty line ends the pass: the rest waits for the next data.
    reads.clear();
    rig->peer.send("#before\n\n#behind\n");
    QTRY_VERIFY(!reads.isEmpty());
    QTRY_VERIFY(rig->machineLog().endsWith("#crlf\n#before"));
    QTest::qWait(50); // nothing more may arrive without new data
    QVERIFY(rig->machineLog().endsWith("#crlf\n#before"));
    rig->peer.send("#next\n");
    QTRY_VERIFY(rig->machineLog().endsWith("#crlf\n#before\n#behind\n#next"));
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
    QStringList lines = rig->machineLog().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(1).contains(QString::number(length)), qPrintable(lines.at(1)));
    QVERIFY(rig->peer.isConnected());

    // Just above the limit in one piece, and a line exactly at the limit that is kept.
    QByteArray atLimit(Client::MaxLineBytes, 'y');
    atLimit[0] = '#';
    rig->peer.send(atLimit + "z\n" + atLimit + "\n");
    QTRY_COMPARE(rig->machineLog().split('\n').size(), 5);
    lines = rig->machineLog().split('\n');
    QVERIFY(lines.at(3).contains(QString::number(Client::MaxLineBytes + 1)));
    QCOMPARE(lines.at(4), atLimit.left(LogPage::ShownLineChars) +
                              QStringLiteral(" … %1 more characters")
                                  .arg(Client::MaxLineBytes - LogPage::ShownLineChars));
}

void TestClient::machineInformation_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("status"); // the status page is filled by the first line only
    QTest::addColumn<QString>("log");

    QTest::newRow("full") << QStringList{"&M M1|Z7|Lynx|2.0.1|2|SATA1:|SATA2:|end"}
                          << QStringList{"M1", "Z7", "Lynx", "", "", "", "2.0.1"}
                          << QStringList{"SATA1", "SATA2"} << "2.0.1"
                          << "";
    QTest::newRow("later adds ports") << QStringList{ThreePorts, "&M M2|Q|R|3.0|1|X1|end"}
                                      << QStringList{"M2", "Q", "R", "", "", "", "3.0"}
                                      << QStringList{"P1", "P2", "P3", "X1"} << "M1"
                                      << "";
    QTest::newRow("ampersand") << QStringList{"&M R&D|Z|V|1|0|end"}
                               << QStringList{"R&D", "Z", "V", "", "", "", "1"} << QStringList{}
                               << "R&D"
                               << "";
    QTest::newRow("short") << QStringList{"&M Solo", "&M", "&M A|B|C|D|onlycount"}
                           << QStringList{"A", "B", "C", "", "", "", "D"} << QStringList{} << "Solo"
                           << "";
    // However many ports machines report, a machine has at most so many rows.
    QStringList ports;
    for (int port = 1; port <= Client::MaxPortRows + 6; ++port)
        ports << QStringLiteral("S%1").arg(port);
    const QStringList capped = ports.mid(0, Client::MaxPortRows), fewer = ports.mid(0, 62);
    const QString note("Ignored %1 ports of the machine: it may have at most 64 port rows.");
    const QStringList last{"M1", "Z7", "Lynx", "", "", "", "1.0"};
    QTest::newRow("ports capped") << QStringList{"&M M9|Z|V|1|n|" + ports.join('|') + "|end",
                                                 ThreePorts}
                                  << last << capped << "M9" << note.arg(6) + '\n' + note.arg(3);
    QTest::newRow("later fills up to the cap")
        << QStringList{"&M M9|Z|V|1|n|" + fewer.join('|') + "|end", ThreePorts} << last
        << fewer + QStringList{"P1", "P2"} << "M9" << note.arg(1);
}

void TestClient::machineInformation()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, row);
    QFETCH(QStringList, ports);
    QFETCH(QString, status);
    QFETCH(QString, log);

    QVERIFY(rig->sendAndSettle(lines));
    QCOMPARE(rig->machineLog(), log);
    QCOMPARE(rig->client->getName(), row.first());
    QCOMPARE(rig->portRow(-1), row);
    QCOMPARE(rig->tabs.tabText(1), QString(row.first()).replace("&", "&&")); // no shortcut
    QCOMPARE(rig->client->frame()->windowTitle(), row.first());
    QVERIFY(rig->pageText("textBrowserStatus").contains(status));
    QCOMPARE(rig->portNames(), ports);
    if (!ports.isEmpty())
        QCOMPARE(rig->portRow(1), (QStringList{ports.at(1), "", "", "", "", "", ""}));
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

    // An identification moves an access name held by another row; only exact equals move.
    QVERIFY(rig->sendAndSettle({"@/dev/sdb A P1 ,1,M,V", "@/dev/sdb1 A P3 ,1,M,V"}));
    const auto accessNames = [this] {
        QStringList names;
        for (int row = 0; row < 3; ++row)
            names << rig->portText(row, Client::IndexAccessName);
        return names;
    };
    QCOMPARE(accessNames(), (QStringList{"/dev/sdb", "", "/dev/sdb1"}));
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

void TestClient::lines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("cell"); // of port P2; an empty status: the last line is only logged

    const QString identify = QStringLiteral("@/dev/sdb A P2 ,2000,M,V");
    const auto status = [identify](const char *line, const char *cell = "") {
        QTest::newRow(line) << QStringList{"&I 1000", identify, line} << int(Client::IndexStatus)
                            << cell;
    };
    status("@/dev/sdb N", "NG");
    status("@/dev/sdb O", "OK");
    status("@/dev/sdb Okay-ish 3", "OK");
    status("@/dev/sdb S Verifying", "Verifying");
    for (const char *logged : {"@/dev/sdb X 1", "@/dev/sdb ", "@/dev/sdb", "@",
                               "#/dev/sdb bad sector", "&", "&Z 12", "&s COPY", "&  x"})
        status(logged);

    const auto percent = [](const char *name, const QStringList &lines, const char *cell) {
        QTest::newRow(name) << lines << int(Client::IndexPercentage) << cell;
    };
    percent("57", {"&I 1000", identify, "@/dev/sdb C 0 570"}, "57%");
    percent("105", {"&I 1000", identify, "@/dev/sdb C 0 1050"}, "105%");
    percent("kind word", {"&I 1000", identify, "@/dev/sdb Copy 1 250"}, "25%");
    percent("no total yet", {identify, "@/dev/sdb C 0 570"}, "");
    percent("zero total", {"&I 0", identify, "@/dev/sdb C 0 570"}, "");
    percent("total not a number", {"&I lots", identify, "@/dev/sdb C 0 570"}, "");
    percent("non-source uses the device capacity", {"&I 1000", identify, "&J", "@/dev/sdb C 0 500"},
            "25%");
    percent("non-source with zero device capacity",
            {"&I 1000", "@/dev/sdb A P2 ,0,M,V", "&J", "@/dev/sdb C 0 500"}, "");
    percent("identification ends non-source mode", {"&I 1000", "&J", identify, "@/dev/sdb C 0 500"},
            "50%");
    percent("no target row", {"&I 1000", "@/dev/sdb C 0 500"}, "");
}

void TestClient::lines()
{
    QFETCH(QStringList, lines);
    QFETCH(int, column);
    QFETCH(QString, cell);

    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts} + lines));
    QCOMPARE(rig->portText(1, column), cell);
    const bool logged = column == Client::IndexStatus && cell.isEmpty();
    QCOMPARE(rig->machineLog(), logged ? lines.last() : QString());
    if (logged) {
        QCOMPARE(rig->portRow(1), (QStringList{"P2", "M", "V", "2000", "", "", "/dev/sdb"}));
        QCOMPARE(rig->machineText(Client::IndexStatus), QString());
    }
    if (column == Client::IndexPercentage) {
        QCOMPARE(rig->machineText(Client::IndexPercentage), cell);
        QCOMPARE(rig->portText(0, Client::IndexPercentage), QString());
    }
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

void TestClient::runLog_data()
{
    QTest::addColumn<bool>("saveLog");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filePrefix"); // none: no file
    QTest::addColumn<QStringList>("lines");  // after the run's start
    const QStringList two{"#line one", QString::fromUtf8("#設備 ok")};
    QTest::newRow("saved") << true << "M1"
                           << "M1-" << two;
    QTest::newRow("not saved") << false << "M1"
                               << "" << two;
    // A machine name is untrusted: the file stays in the current directory.
    QTest::newRow("name sanitised") << true << "../evil/.x"
                                    << "_._evil_.x-" << two;
    // Text the tab changes (returns, separators, no-break spaces), in a run kept in a file.
    QTest::newRow("awkward text")
        << true << "M1"
        << "M1-"
        << QStringList{QString::fromUtf8("#a\rb\r\rc\u00a0d\u2028e\u2029f\ufdd0g\ufdd1h\ufffc"),
                       "#\r\r", "#end"} +
               Chatter;
    QStringList many;
    for (int line = 0; line < LogPage::MachineLimits.lines + 500; ++line)
        many << QStringLiteral("#%1").arg(line);
    // With no run kept whole, an end writes what the tab shows.
    QTest::newRow("end after a termination") << true << "M1"
                                             << "M1-" << two + QStringList{"&T gone"};
    QTest::newRow("longer than the tab keeps") << true << "M1"
                                               << "M1-" << many;
}

void TestClient::runLog()
{
    QFETCH(bool, saveLog);
    QFETCH(QString, name);
    QFETCH(QString, filePrefix);
    QFETCH(QStringList, lines);
    para.savelog = saveLog;
    QVERIFY(QDir::current().mkdir("inner") && QDir::setCurrent("inner"));

    QVERIFY(rig->sendAndSettle(QStringList{"&M " + name + "|Z|V|1|0|end", "&S COPY"} + lines));
    QCoreApplication::processEvents(); // the tab is trimmed once a burst of lines is over
    const QString shown = rig->machineLog();
    QCOMPARE(spools(), saveLog && lines.join(QString()).size() >= 40000 ? 1 : 0);
    const QString globalBefore = rig->log.toPlainText();
    QVERIFY(rig->sendAndSettle({"&F all passed"}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
    QCOMPARE(rig->machineText(Client::IndexDisplayName), name);
    QCOMPARE(rig->log.toPlainText(), globalBefore + name + " complete all passed\n");
    QCOMPARE(spools(), 0);

    const QStringList files = QDir::current().entryList(QDir::Files);
    QVERIFY(QDir::setCurrent(workDir));
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{"inner"});
    QCOMPARE(files.size(), filePrefix.isEmpty() ? 0 : 1);
    if (files.isEmpty())
        return;
    QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(filePrefix) +
                                "\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.txt$")
                 .match(files.first())
                 .hasMatch(),
             qPrintable(files.first()));
    // The tab's text, byte for byte and without a BOM; every line when the tab let some go.
    const bool trimmed = lines.size() > LogPage::MachineLimits.lines;
    QCOMPARE(shown.startsWith("Earlier lines left out: "), trimmed);
    QFile file("inner/" + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QTextCodec::codecForLocale()->fromUnicode(
                                 trimmed ? "Start COPY\n\n" + lines.join('\n') : shown));
}

void TestClient::runRecords_data()
{
    QTest::addColumn<QStringList>("lines"); // after three ports with P1 the source; "-" hangs up
    QTest::addColumn<bool>("saveLog");
    QTest::addColumn<QStringList>("devices"); // port role access model vendor capacity % result

    const QStringList run = QString("&S COPY;&I 100;@/dev/sda A P1 ,100,M1,V1;@/dev/sdb A P2 "
                                    ",200,M2,V2;@/dev/sdc A P3 ,300,M3,V3;@/dev/sdb C 0 50;@/dev/"
                                    "sdb O;@/dev/sdc C 0 20;@/dev/sdc N;@/dev/sda S SOURCE")
                                .split(';');
    const QString p1 = "P1|source|/dev/sda|M1|V1|100|", p2 = "P2|target|/dev/sdb|M2|V2|200|",
                  p3 = "P3|target|/dev/sdc|M3|V3|300|";
    const auto row = [](const char *name, const QStringList &lines, const QStringList &devices,
                        bool saveLog = true) {
        QTest::newRow(name) << lines << saveLog << devices;
    };
    row("OK, NG, state word", run + S{"&F done"}, {p1 + "|SOURCE", p2 + "50|OK", p3 + "20|NG"});
    row("save log off", run.mid(0, 4) + S{"&F done"}, {p1 + "|", p2 + "|"}, false);
    row("disconnect", run.mid(0, 7) + S{"-"},
        {p1 + "|disconnected", p2 + "50|disconnected", p3 + "|disconnected"});
    // Identified before the run start: only port row 0, which keeps its access name, is reached.
    row("identified before start",
        run.mid(2, 2) + S{"&S VERIFY", "&I 100", "@/dev/sda C 0 30", "&F ok"}, {p1 + "30|"});
    row("terminated, next run", run.mid(0, 4) + S{"&T stop", "&S ERASE"}, {p1 + "|", p2 + "|"});
    row("end without start", run.mid(3, 1) + S{"&F x"}, {p2 + "|"}, false);
    row("hostile names",
        {"&M =Evil, \"Co\"\rX|Z|V|1|1|P9|end", "&S COPY", "@=a\"b A P2 ,-1,+M,@V", "&F done"},
        {"P2|target|=a\"b|+M|@V|-1||"});
}

void TestClient::runRecords()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, saveLog);
    QFETCH(QStringList, devices);
    para.savelog = saveLog;
    const bool hangUp = lines.removeAll("-") > 0;
    const QString machine =
        lines.first().startsWith("&M ") ? lines.first().mid(3).section('|', 0, 0) : "M1";
    const QString operation = lines.filter(QRegularExpression("^&S ")).value(0).mid(3);
    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts, "&N", "source=P1", "Settings End"} + lines));
    if (hangUp) {
        rig->peer.disconnectFromHost();
        QTRY_VERIFY(rig->client.isNull());
    }
    const QStringList files = QDir::current().entryList({"tarn-runs-*.csv"});
    QCOMPARE(files.size(), 1);
    QFile file(files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const Csv::Table table = Csv::parse(QString::fromUtf8(file.readAll()));
    QVERIFY(table.badLines.isEmpty());
    QCOMPARE(table.rows.first().fields, RunRecord::header());
    QStringList got;
    for (const Csv::Row &row : table.rows.mid(1)) {
        RunRecord r;
        QVERIFY(RunRecord::fromFields(row.fields, r));
        QCOMPARE((S{r.machine, r.address, r.operation}), (S{machine, "127.0.0.3", operation}));
        QCOMPARE(r.durationSeconds, r.start.isValid() ? r.start.secsTo(r.end) : -1);
        QCOMPARE(files.first(), runRecordsFileName(r.end.date()));
        QCOMPARE(QFile::exists(r.runLog), saveLog && !hangUp && !lines.contains("&S ERASE"));
        got << S{r.port, r.role, r.access, r.model, r.vendor, r.capacity, r.percentage, r.result}
                   .join('|');
    }
    QCOMPARE(got, devices);
}

void TestClient::runRecordsFileUnwritable()
{
    QVERIFY(QDir().mkdir(runRecordsFileName(QDate::currentDate())));
    QVERIFY(rig->sendAndSettle({ThreePorts, "&S COPY", "@/dev/sdb A P2 ,1,M,V", "&F done"}));
    QCOMPARE(rig->log.toPlainText().count("The run records of M1 could not be written to "), 1);
    QVERIFY(rig->log.toPlainText().endsWith(": Is a directory\n"));
}

void TestClient::terminationRequest()
{
    QSignalSpy aborts(rig->client.data(), &Client::abortServer);
    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts, "&S COPY"} + Chatter));
    QCOMPARE(spools(), 1);
    QVERIFY(rig->sendAndSettle({"&T disk gone"}));
    QCOMPARE(aborts.count(), 1);
    QCOMPARE(aborts.first().first().value<Client *>(), rig->client.data());
    QVERIFY(rig->client->stopRequested());
    QVERIFY(rig->log.toPlainText().endsWith("M1 ask for termination (disk gone)!\n"));
    QCOMPARE(rig->machineLog(), "Start COPY\n\n" + Chatter.join('\n') + "\nAsk for terminate!\n");
    QCOMPARE(rig->machineText(Client::IndexStatus), QStringLiteral("COPY"));
    QVERIFY(rig->client->isConnected());
    QVERIFY(QDir::current().entryList({"*.txt"}, QDir::Files).isEmpty());
    QCOMPARE(spools(), 0);
}

void TestClient::settingsBlock_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QStringList>("ports");

    const auto block = [](const char *line) { return QStringList{"&N", line, "Settings End"}; };
    QTest::newRow("source marked")
        << QStringList{ThreePorts, "&N", "", "source=P2", "speed=max", "Settings End"}
        << "source=P2\nspeed=max\n"
        << QStringList{"P1", "*P2", "P3"};
    QTest::newRow("new block moves the mark")
        << QStringList{ThreePorts} + block("source=P2") + block("source=P3") << "source=P3\n"
        << QStringList{"P1", "P2", "*P3"};
    QTest::newRow("same block twice")
        << QStringList{ThreePorts} + block("source=P1") + block("source=P1") << "source=P1\n"
        << QStringList{"*P1", "P2", "P3"};
    // No port is the source then, not even the one without a name.
    QTest::newRow("no source line clears the mark")
        << QStringList{"&M M1|Z|V|1|3|P1||P3|end"} + block("source=P1") + block("mode=fast")
        << "mode=fast\n"
        << QStringList{"P1", "", "P3"};
}

void TestClient::settingsBlock()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, settings);
    QFETCH(QStringList, ports);

    QVERIFY(rig->sendAndSettle(lines << "#after"));
    QCOMPARE(rig->pageText("textBrowserSettings"), settings);
    QCOMPARE(rig->portNames(), ports);
    QCOMPARE(rig->client->sourceName(),
             settings.startsWith("source=") ? settings.mid(7, 2) : QString());
    QCOMPARE(rig->machineLog(), QStringLiteral("#after"));
}

void TestClient::settingsBlockContinuesAtLaterPass()
{
    QSignalSpy reads(rig->socket(), &QTcpSocket::readyRead);
    QVERIFY(rig->sendAndSettle({ThreePorts}));
    reads.clear();
    rig->peer.sendLines({"&N", "source=P2", "#held"});
    QTRY_VERIFY(!reads.isEmpty());
    QTRY_COMPARE(rig->pageText("textBrowserSettings"), QStringLiteral("source=P2\n#held\n"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "P2", "P3"}));

    // The lines of the next pass still belong to the block, the empty one included.
    rig->peer.sendLines({"", "&S COPY", "Settings End", "#after"});
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#after"));
    QCOMPARE(rig->pageText("textBrowserSettings"), QStringLiteral("source=P2\n#held\n&S COPY\n"));
    QCOMPARE(rig->portNames(), (QStringList{"P1", "*P2", "P3"}));
    QCOMPARE(rig->machineText(Client::IndexStatus), QString());
}

void TestClient::reencoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<int>("translate");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("name");

    const QString chinese = QString::fromUtf8("機器一號");
    const QChar bad(QChar::ReplacementCharacter);
    QTest::newRow("chinese installation")
        << QByteArray("UTF-8") << 1 << chinese.toUtf8() << chinese;
    QTest::newRow("english installation, local bytes")
        << QByteArray("ISO-8859-1") << 0 << QByteArray("\xe9t\xe9") << QString::fromUtf8("été");
    QTest::newRow("switched to chinese before restart")
        << QByteArray("ISO-8859-1") << 2 << QByteArray("\xe9t\xe9") << QString(bad) + 't' + bad;
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

void TestClient::disconnectLifeCycle()
{
    QVERIFY(rig->sendAndSettle(QStringList{ThreePorts, "&S COPY"} + Chatter));
    QCOMPARE(spools(), 1);
    QPointer<QTcpSocket> socket = rig->socket();
    QPointer<QWidget> page = rig->client->tabPage();
    int emitted = 0;
    connect(rig->client.data(), &Client::abortServer, this, [&](Client *client) {
        ++emitted;
        QCOMPARE(client, rig->client.data());
        QVERIFY(client->stopRequested());
        QCOMPARE(rig->model.rowCount(), 0);
    });
    rig->peer.disconnectFromHost();
    QTRY_COMPARE(emitted, 1);
    QVERIFY(rig->log.toPlainText().endsWith("127.0.0.3 is disconnected!\n"));
    QTRY_VERIFY(rig->client.isNull());
    QCOMPARE(emitted, 1);
    QVERIFY(socket.isNull());
    QCOMPARE(rig->tabs.count(), 3);
    QTRY_VERIFY(page.isNull());
    QCOMPARE(spools(), 0);
}

TARN_TEST_MAIN(TestClient)
#include "tst_client.moc"
