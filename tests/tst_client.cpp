#include <QtTest>

#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QTextCodec>
#include <QTextDocument>

#include "app/para.h"
#include "client/client.h"
#include "client/framedevice.h"
#include "client/logpage.h"
#include "client/wire/csv.h"
#include "client/wire/decimal.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/lineframer.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "client/wire/runrecord.h"
#include "reportdocument.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

using S = QStringList;
using D = DeviceStatus;

namespace {
const QString ThreePorts = QStringLiteral("&M M1|Z7|Lynx|1.0|3|P1:|P2:|P3:|end");
// Lines enough to be kept in a temporary file, each short enough to be shown whole.
const QStringList Chatter(QVector<QString>(6, QString(8000, 'x')).toList());
constexpr int WaitMs = ScriptedPeer::DefaultTimeoutMs;

// The widgets the window hands the server and its machines.
struct Console
{
    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    Console()
    {
        for (const char *page : {"Machines Summary", "Global Log", "Files"})
            tabs.addTab(new QWidget, page);
    }
};

// One machine object on a real loopback connection.
struct MachineRig : Console
{
    QTcpServer listener;
    ScriptedPeer peer;
    QObject owner;
    QPointer<Client> client;
    int barriers = 0;

    bool connect()
    {
        if (!listener.listen(QHostAddress::Any, 0) ||
            !peer.connectTo(QHostAddress::LocalHost, listener.serverPort(),
                            QHostAddress(QStringLiteral("127.0.0.3"))) ||
            !ScriptedPeer::waitUntil([this] { return listener.hasPendingConnections(); }, WaitMs))
            return false;
        client = new Client(&log, listener.nextPendingConnection(), model.invisibleRootItem(),
                            &tabs, &owner);
        return true;
    }

    // Everything sent before has been handled once a file-list line sent after it shows.
    bool sendAndSettle(const QStringList &lines)
    {
        const QString mark = QStringLiteral("barrier%1").arg(++barriers);
        peer.sendLines(lines);
        peer.sendLine(QStringLiteral("&R ") + mark);
        auto *files = client->frame()->findChild<QListWidget *>(QStringLiteral("listWidget"));
        return ScriptedPeer::waitUntil(
            [files, mark] { return files->count() == 1 && files->item(0)->text() == mark; },
            WaitMs);
    }

    // The cells of the machine row, then of each of its port rows.
    QStringList rows()
    {
        QStandardItem *machine = model.item(client->rowInItems());
        QStringList rows;
        for (int row = -1; row < machine->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < Client::ColumnCount; ++column)
                cells << (row < 0 ? model.item(machine->row(), column)
                                  : machine->child(row, column))
                             ->text();
            rows << cells.join('|');
        }
        return rows;
    }
    QString machineLog() { return client->frame()->getLogBrowser()->toPlainText(); }
    QString page(const char *browser)
    {
        return client->frame()->findChild<QTextBrowser *>(browser)->toPlainText();
    }
    QTcpSocket *socket() { return client->findChild<QTcpSocket *>(); }
};

// The console's own widgets around one server on a free command port.
struct ServerRig : Console
{
    quint16 port = 0;
    std::unique_ptr<Server> server;

    ServerRig()
    {
        // A port free on every address, as the server listens on all of them.
        QTcpServer probe;
        port = (probe.listen(QHostAddress::Any, 0), probe.serverPort());
        probe.close();
        server = std::make_unique<Server>(&log, port, model.invisibleRootItem(), &tabs);
    }

    // Connects machines 127.0.0.3, 127.0.0.4, ... and waits until the server has taken each.
    bool admit(std::initializer_list<ScriptedPeer *> peers)
    {
        int host = 3;
        for (ScriptedPeer *peer : peers) {
            const int before = log.toPlainText().count("New connection from");
            if (!peer->connectTo(QHostAddress::LocalHost, port,
                                 QHostAddress(QStringLiteral("127.0.0.%1").arg(host++))) ||
                !ScriptedPeer::waitUntil(
                    [&] { return log.toPlainText().count("New connection from") > before; },
                    WaitMs))
                return false;
        }
        return true;
    }
};
} // namespace

class TestClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The wire functions first: a fault there shows before the scenarios built on them stall.
    void parse_data();
    void parse();
    void csv_data();
    void csv();
    void reportDocumentHoldsEveryRow();
    void framing();
    void lines_data();
    void lines();
    void runs_data();
    void runs();
    void logPages();
    void commands_data();
    void commands();
    void secondLocalAddressIsRejected();

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
    QString workDir;
    const std::unique_ptr<QTemporaryDir> spoolDir = std::make_unique<QTemporaryDir>();
};

void TestClient::init()
{
    para.tcpport = 0;
    para.translate = 0;
    para.savelog = true;
    Server::setAddressEntrySource([] { // announcements stay on loopback
        QNetworkAddressEntry e;
        e.setIp(QHostAddress(QHostAddress::LocalHost));
        e.setBroadcast(QHostAddress(QStringLiteral("127.255.255.255")));
        return QList<QNetworkAddressEntry>{e};
    });
    workDir = QDir::currentPath();
    qputenv("TMPDIR", spoolDir->path().toLocal8Bit());
    rig = std::make_unique<MachineRig>();
    QVERIFY(rig->connect());
}

void TestClient::cleanup()
{
    rig.reset();
    QDir::setCurrent(workDir);
    QDir(workDir).removeRecursively();
    QDir().mkpath(workDir);
    QDir::setCurrent(workDir);
}

void TestClient::framing()
{
    // An empty line ends the pass: the rest waits for the next data.
    rig->peer.send("#before\r\n\n#behind\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before"));
    rig->peer.send("#next\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before\n#behind\n#next"));

    // A line over the limit is dropped with a note; one exactly at the limit is kept, shown cut.
    const int limit = Client::MaxLineBytes, shown = LogPage::ShownLineChars;
    rig->peer.send(QByteArray(limit + 1, 'y') + "\n" + QByteArray(limit, 'y') + "\n");
    QTRY_COMPARE(rig->machineLog(),
                 QStringLiteral("#before\n#behind\n#next\nDropped a line of %1 bytes from the "
                                "machine: lines are limited to %2 bytes.\n%3 … %4 more characters")
                     .arg(QString::number(limit + 1), QString::number(limit), QString(shown, 'y'),
                          QString::number(limit - shown)));
    QVERIFY(rig->peer.isConnected());

    // With more behind the empty lines than the console holds at once, it goes on by itself: it
    // must never wait for data its own full buffers hold back.
    rig->socket()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    rig->peer.socket()->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
    rig->peer.send(QByteArray("&J\n\n").repeated(128 * 1024) + "#after\n");
    QVERIFY(rig->peer.flush(30000));
    QTRY_COMPARE(rig->socket()->bytesAvailable(), qint64(0));
    QVERIFY(rig->client->nonSourceMode() && rig->peer.isConnected());
}

void TestClient::lines_data()
{
    QTest::addColumn<S>("lines"); // after three ports P1 to P3 unless they start with "&M"
    QTest::addColumn<S>("rows");  // the machine row's cells, then each port row's
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("settings");
    const auto row = [](const char *name, const S &lines, const S &rows, const QString &log = {},
                        const QString &settings = {}) {
        QTest::newRow(name) << lines << rows << log << settings;
    };
    const auto blank = [](S ports) {
        return ports.replaceInStrings(QRegularExpression("$"), "||||||");
    };
    const QString m = "M1|Z7|Lynx||||1.0", p1 = "P1||||||", p2 = "P2||||||", p3 = "P3||||||";
    // Names are text: no markup on the status page, no shortcut in the tab.
    row("markup", {"&M R&D <b>x</b>|Z|V|1|0|end"}, {"R&D <b>x</b>|Z|V||||1"});
    // However many ports machines report, a machine has at most so many rows.
    S ports;
    for (int port = 1; port <= Client::MaxPortRows + 6; ++port)
        ports << QStringLiteral("S%1").arg(port);
    const QString note("Ignored %1 ports of the machine: it may have at most 64 port rows.");
    row("ports capped", {"&M M9|Z|V|1|n|" + ports.join('|') + "|end", ThreePorts},
        S{m} + blank(ports.mid(0, Client::MaxPortRows)), note.arg(6) + '\n' + note.arg(3));
    row("later fills up to the cap",
        {"&M M9|Z|V|1|n|" + ports.mid(0, 62).join('|') + "|end", ThreePorts},
        S{m} + blank(ports.mid(0, 62) + S{"P1", "P2"}), note.arg(1));
    const QString a1 = "@/dev/sda A P1 ,1,M,V", b2 = "@/dev/sdb A P2 ,2000,M,V";
    const S logged{"@/dev/sdb X 1", "@/dev/sdb ", "@/dev/sdb", "@", "#/dev/sdb bad", "&",
                   "&Z 12",         "&s COPY",    "&  x"};
    row("only logged", S{"&I 1000", b2} + logged, {m, p1, "P2|M|V|2000|||/dev/sdb", p3},
        logged.join('\n'));
    row("progress", {"&I 1000", a1, b2, "@/dev/sda C 0 570", "@/dev/sdb Copy 1 1050"},
        {"M1|Z7|Lynx|||105%|1.0", "P1|M|V|1||57%|/dev/sda", "P2|M|V|2000||105%|/dev/sdb", p3});
    // A row without access name takes no lines.
    row("no row identified", {"&I 1000", "@/dev/sdb C 0 500", "@/dev/sdb N"}, {m, p1, p2, p3});
    row("non-source uses the device capacity",
        {"&I 1000", b2, "@/dev/sdc A P3 ,0,M,V", "&J", "@/dev/sdb C 0 500", "@/dev/sdc C 0 500"},
        {"M1|Z7|Lynx|||25%|1.0", p1, "P2|M|V|2000||25%|/dev/sdb", "P3|M|V|0|||/dev/sdc"});
    // A source mark is no part of the port name; status and percentage are blanked; an unknown
    // port changes nothing; an access name moves to the row that now has it, only exact equals.
    row("identification",
        {"@/dev/sdb A P2 ,500107862016,WD Blue,WDC", "&N", "source=P3", "Settings End", "&I 100",
         "@/dev/sdc A P3 ,9,M,V", "@/dev/sdc C 0 50", "@/dev/sdc S busy", "@/dev/sde A P9 ,1,M,V",
         "@/dev/sdb A P1 ,1,M,V", "@/dev/sdb1 A P3 ,1,M2,V2"},
        {"M1|Z7|Lynx|||50%|1.0", "P1|M|V|1|||/dev/sdb", "P2|WD Blue|WDC|500107862016|||",
         "*P3|M2|V2|1|||/dev/sdb1"},
        "", "source=P3\n");
    // Identifications of the last run are forgotten; port 0 keeps its access name.
    row("run start blanks rows",
        {"&I 100", a1, b2, "@/dev/sda C 0 50", "@/dev/sdb O", "#old", "&S?COPY", "@/dev/x O",
         "@/dev/sda N"},
        {"M1|Z7|Lynx||COPY|50%|1.0", "P1||||NG||/dev/sda", p2, p3}, "Start COPY\n");
    // Lines in a settings block are settings, even an empty line or a run start.
    row("settings block", {"&N", "", "source=P2", "speed=max", "Settings End", "#after"},
        {m, p1, "*P2||||||", p3}, "#after", "source=P2\nspeed=max\n");
    row("run start inside", {"&N", "source=P2", "#held", "", "&S COPY", "Settings End"},
        {m, p1, "*P2||||||", p3}, "", "source=P2\n#held\n&S COPY\n");
}

void TestClient::lines()
{
    QFETCH(S, lines);
    QFETCH(S, rows);
    QFETCH(QString, log);
    QFETCH(QString, settings);
    if (!lines.first().startsWith("&M "))
        lines.prepend(ThreePorts);
    QVERIFY(rig->sendAndSettle(lines));
    QCOMPARE(rig->rows(), rows);
    QCOMPARE(rig->machineLog(), log);
    QCOMPARE(rig->page("textBrowserSettings"), settings);
    QCOMPARE(rig->tabs.tabText(1), rows.first().section('|', 0, 0).replace("&", "&&"));
    QVERIFY(rig->page("textBrowserStatus")
                .contains(lines.filter("&M ").first().mid(3).section('|', 0, 0)));
}

void TestClient::runs_data()
{
    // After three ports with P1 the source; "-" hangs up, "~" waits, "?": a run log spool is kept,
    // "!": the records file cannot be written.
    QTest::addColumn<S>("lines");
    QTest::addColumn<S>("devices"); // port role access model vendor capacity % result
    const S run = QString("&S COPY;&I 100;@/dev/sda A P1 ,100,M1,V1;@/dev/sdb A P2 ,200,M2,V2;"
                          "@/dev/sdc A P3 ,300,M3,V3;@/dev/sdb C 0 50;@/dev/sdb O;@/dev/sdc C 0 20;"
                          "@/dev/sdc N;@/dev/sda S SOURCE")
                      .split(';');
    const QString p1 = "P1|source|/dev/sda|M1|V1|100|", p2 = "P2|target|/dev/sdb|M2|V2|200|",
                  p3 = "P3|target|/dev/sdc|M3|V3|300|";
    const auto row = [](const char *name, const S &lines, const S &devices) {
        QTest::newRow(name) << lines << devices;
    };
    row("OK, NG, state word", run + S{"&F done"}, {p1 + "|SOURCE", p2 + "50|OK", p3 + "20|NG"});
    // The spool of a run goes with a termination or a disconnect.
    row("disconnect", run.mid(0, 7) + Chatter + S{"?", "-"},
        {p1 + "|disconnected", p2 + "50|disconnected", p3 + "|disconnected"});
    // A termination ends its run only: the next run's record ends when that run does.
    row("terminated, next run",
        run.mid(0, 4) + Chatter +
            S{"?", "&T stop", "~", "&S ERASE", "@/dev/sda S busy", "&S VERIFY"},
        {p1 + "|", p2 + "|", p1 + "|busy"});
    row("records unwritable", run.mid(0, 4) + S{"!", "&F done"}, {});
    // A machine name is untrusted: the run log stays in the current directory.
    row("hostile names",
        {"&M ../evil/=E, \"Co\"\rX|Z|V|1|1|P9|end", "&S COPY", "@=a\"b A P2 ,-1,+M,@V", "&F done"},
        {"P2|target|=a\"b|+M|@V|-1||"});
    // Text the tab changes (returns, separators, no-break spaces), in a run kept in a file.
    const S awkward{QString::fromUtf8("#a\rb\r\rc\u00a0d\u2028e\u2029f\ufdd0g\ufdd1h\ufffc"),
                    "#\r\r", QString::fromUtf8("#設備 ok")};
    row("awkward text", run.mid(0, 3) + awkward + Chatter + S{"?", "&F all passed"}, {p1 + "|"});
    // With no run kept whole, an end writes what the tab shows.
    row("end after a termination", run.mid(0, 3) + awkward + S{"&T gone", "&F x"}, {p1 + "|"});
    S many;
    for (int line = 0; line < LogPage::MachineLimits.lines + 500; ++line)
        many << QStringLiteral("#%1").arg(line);
    row("longer than the tab keeps", run.mid(0, 3) + many + S{"&F x"}, {p1 + "|"});
}

void TestClient::runs()
{
    QFETCH(S, lines);
    QFETCH(S, devices);
    const bool hangUp = lines.removeAll("-") > 0, unwritable = lines.removeAll("!") > 0;
    lines = S{ThreePorts, "&N", "source=P1", "Settings End"} + lines;
    const QString machine = lines.filter("&M ").last().mid(3).section('|', 0, 0);
    QVERIFY(QDir::current().mkdir("inner") && QDir::setCurrent("inner"));
    QVERIFY(!unwritable || QDir().mkdir(runRecordsFileName(QDate::currentDate())));
    // Sent in parts: before a pause (a second passes: record times have whole seconds), before
    // the run's end, the rest.
    const int end = lines.indexOf(QRegularExpression("^&F.*"));
    const S ran = lines.mid(lines.indexOf(QRegularExpression("^&S.*")) + 1).mid(0, end);
    QString shown;
    S part;
    for (int i = 0; i <= lines.size(); ++i) {
        const QString mark = lines.value(i);
        if (i < lines.size() && i != end && mark != "~" && mark != "?") {
            part << mark;
            continue;
        }
        QVERIFY(rig->sendAndSettle(part));
        QTest::qWait(mark == "~" ? 1100 : 0);
        QVERIFY(mark != "?" || spools() == 1);
        QCoreApplication::processEvents(); // the tab is trimmed once a burst is over
        shown = i == end ? rig->machineLog() : shown;
        part = i == end ? S{mark} : S{};
    }
    if (unwritable) { // the records file's name is taken by a folder
        const QString log = rig->log.toPlainText();
        QVERIFY(log.count("The run records of M1 could not be written to ") == 1 &&
                log.endsWith(": Is a directory\n"));
        return;
    }
    if (hangUp) {
        rig->peer.disconnectFromHost();
        QTRY_VERIFY(rig->client.isNull() && !rig->model.rowCount() && rig->tabs.count() == 3);
    }
    QCOMPARE(spools(), 0);
    const S files = QDir::current().entryList({"tarn-runs-*.csv"});
    QFile file(files.value(0));
    QVERIFY(files.size() == 1 && file.open(QIODevice::ReadOnly));
    const Csv::Table table = Csv::parse(QString::fromUtf8(file.readAll()));
    QVERIFY(table.badLines.isEmpty() && table.rows.first().fields == RunRecord::header());
    S got;
    const bool logged = !hangUp && end >= 0;
    for (const Csv::Row &row : table.rows.mid(1)) {
        RunRecord r;
        QVERIFY(RunRecord::fromFields(row.fields, r));
        QCOMPARE((S{r.machine, r.address}), (S{machine, "127.0.0.3"}));
        QVERIFY((!r.start.isValid() || r.start <= r.end) && QFile::exists(r.runLog) == logged);
        got << S{r.port, r.role, r.access, r.model, r.vendor, r.capacity, r.percentage, r.result}
                   .join('|');
    }
    QCOMPARE(got, devices);

    // The run log: the tab's text byte for byte, without a BOM; every line when the tab let some
    // go.
    const S logs = QDir::current().entryList({"*.txt"});
    QCOMPARE(logs.size(), logged ? 1 : 0);
    QCOMPARE(QDir(workDir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), S{"inner"});
    const bool trimmed = ran.size() > LogPage::MachineLimits.lines;
    QCOMPARE(shown.startsWith("Earlier lines left out: "), trimmed);
    QFile log(logs.value(0));
    QVERIFY(!logged || log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(),
             logged
                 ? QTextCodec::codecForLocale()->fromUnicode(
                       trimmed ? "Start COPY\n\n" + ran.filter(QRegularExpression("^#")).join('\n')
                               : shown)
                 : QByteArray());
}

void TestClient::logPages()
{
    FrameDevice frame;
    // A line shows so many characters at most, each break in it a line of the page: a second
    // such line takes the first away.
    QString breaks(LogPage::ShownLineChars + 4, '\r');
    frame.log(breaks);
    frame.log(breaks);
    QCoreApplication::processEvents();
    QCOMPARE(frame.getLogBrowser()->toPlainText(), "Earlier lines left out: 8193\n" +
                                                       QString(LogPage::ShownLineChars, '\n') +
                                                       " … 4 more characters");

    // Over the line limit a tenth more leaves; 300 paragraphs of 8,001 characters go down to 90 %
    // of 2 Mi characters. A cleared page counts again from nothing.
    const int limit = LogPage::MachineLimits.lines;
    for (const QVector<int> &c : {QVector<int>{limit + 1, 8, limit / 10 + 1}, {300, 8000, 65}}) {
        for (int pass = 0; pass < 2; ++pass) {
            frame.clearLog();
            frame.clearSettings();
            for (int i = 0; i < c[0]; ++i) {
                QString line = QString::number(i).leftJustified(c[1], '.');
                frame.log(line);
                frame.addSettings(line += '\n');
            }
            QCoreApplication::processEvents();
        }
        const QString last = QString::number(c[0] - 1).leftJustified(c[1], '.');
        const QString noted = "Earlier lines left out: ";
        const S shown = frame.getLogBrowser()->toPlainText().split('\n');
        QCOMPARE(shown.size(), c[0] - c[2] + 1);
        QCOMPARE(shown.first() + '|' + shown.last(), noted + QString::number(c[2]) + '|' + last);
        const QString settings =
            frame.findChild<QTextBrowser *>("textBrowserSettings")->toPlainText();
        QVERIFY(settings.startsWith(noted) && settings.endsWith(last + '\n'));
    }
}

void TestClient::commands_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("logged");
    const QString stops = "Abort button is pressed!\nClient 127.0.0.3 is being asked stop!\n"
                          "Client 127.0.0.4 is being asked stop!\n";
    const S names{"askForCopy",  "askForCompare", "askForVerify",
                  "askForErase", "askForResize",  "localAbort"};
    for (int i = 0; i < names.size(); ++i)
        QTest::newRow(qPrintable(names[i]))
            << names[i].toLatin1() << QByteArray(1, "OMVEIt"[i]) + '\n'
            << (i < 5 ? "Send " + names[i].mid(6).toUpper() + " Command\n" : stops);
}

void TestClient::commands()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, line);
    QFETCH(QString, logged);
    ServerRig rig;
    ScriptedPeer peers[2];
    QVERIFY(rig.admit({&peers[0], &peers[1]}) && rig.tabs.count() == 5);
    rig.tabs.setCurrentIndex(2);
    const QString before = rig.log.toPlainText();
    QVERIFY(QMetaObject::invokeMethod(rig.server.get(), slot) && rig.tabs.currentIndex() == 0);
    QCOMPARE(rig.log.toPlainText(), before + logged);
    for (int index = 0; index < 2; ++index) {
        QVERIFY(peers[index].waitForReceived(line.size()) &&
                rig.server->clients()[index]->stopRequested() == (slot == "localAbort"));
        QCOMPARE(peers[index].received(), line);
    }
}

void TestClient::secondLocalAddressIsRejected()
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
    ScriptedPeer more, rejected;
    bool refusedWhileOpen = false, goneWhileOpen = false;
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
    QTRY_VERIFY(rig.model.rowCount() == 1 && rig.tabs.count() == 4 &&
                rig.server->clients().size() == 1);
}

// One wire function applied to a text, its result written as text (kinds as their letters).
static QString apply(const QString &function, const QString &text)
{
    if (function == "frame") { // segments split at '~', lines of at most 8 bytes
        LineFramer framer(8);
        S lines;
        for (const QString &segment : text.split('~')) {
            framer.append(segment.toLatin1());
            QByteArray line;
            while (framer.takeLine(line))
                lines << line;
            if (framer.bufferedBytes() > 8) // an unended line is held up to the limit only
                return "held more than the limit";
        }
        S dropped;
        for (qint64 length : framer.takeDroppedLines())
            dropped << QString::number(length);
        return lines.join(',') + " / " + QString::number(framer.bufferedBytes()) + " / " +
               dropped.join(',');
    }
    if (function == "decimal")
        return QString::number(parseDecimal(text));
    if (function == "percent")
        return QString::number(progressPercent(parseDecimal(text.section('/', 0, 0)),
                                               parseDecimal(text.section('/', 1))));
    if (function == "device") {
        const DeviceStatus d = DeviceStatus::parse(text);
        const qint64 number = d.kind == D::Progress ? d.done : d.capacity;
        return QString("ACNOS-").at(d.kind) + '|' + d.access + '|' + d.port + '|' + d.capacityText +
               '|' + d.model + '|' + d.vendor + '|' + d.state + '|' + QString::number(number);
    }
    if (function == "global") {
        const GlobalStatus g = GlobalStatus::parse(text);
        return S{QString("SFIJTMNR-").at(g.kind), g.payload, QString::number(g.total)}.join('|');
    }
    if (function == "machine") {
        const MachineInfo m = MachineInfo::parse(text);
        return S{m.name, m.model, m.vendor, m.version,
                 MachineInfo::portNames(m.portSection).join(',')}
                   .join('|') +
               '\n' + m.text;
    }
    return runLogFileName(text, QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1))); // "log name"
}

void TestClient::parse_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    // Rows of one function: text, result, text, result...
    const auto rows = [](const char *function, const S &pairs) {
        for (int i = 0; i < pairs.size(); i += 2)
            QTest::newRow(qPrintable(function + QString(": ") + pairs[i]))
                << QString(function) << pairs[i] << pairs[i + 1];
    };
    rows("frame",
         {"a\nb\r\nc\rd\n", "a,b,c\rd / 0 / ", "ab~c\r~\n", "abc / 0 / ", "a\npart", "a / 4 / ",
          "\n\nz\n", ",,z / 0 / ", "12345678\n", "12345678 / 0 / ", "123456789\nok\n", "ok / 0 / 9",
          "before\n~xxxxxx~xxxxxx~xxxxxx~yy\nafter\n", "before,after / 0 / 20"});
    rows("decimal", {"0570", "570", "18446744073709551615", "18446744073709551615", "", "0", "lots",
                     "0", "-5", "0", "12ab", "0", "0x10", "0", "18446744073709551616", "0"});
    // Percentages saturate instead of wrapping.
    rows("percent", {"570/1000", "57", "18446744073709551615/18446744073709551615", "100",
                     "18446744073709551615/1", "18446744073709551615"});
    // A device line with a comma in its access name keeps its whole line as sections.
    rows("device",
         {"@/dev/sda A SATA1 ,1000,WD Blue,WDC", "A|/dev/sda|SATA1|1000|WD Blue|WDC||1000",
          "@/img/a,b A P1 ,7,M,V,x", "A|/img/a,b|P1|b A P1 |7|M||0", "@sda Copying 3 570 more",
          "C|sda||||||570", "@sda C 3", "C|sda||||||0", "@sda OKAY fine", "O|sda||||||0",
          "@sda S Erasing", "S|sda|||||Erasing|0", "", "-|||||||0"});
    // The separator is dropped whatever it is.
    rows("global", {"&S:COPY", "S|COPY|0", "&I 2000", "I|2000|2000", "&I", "I||0", "&T disk gone",
                    "T|disk gone|0", "&M a|b", "M|a|b|0", "&s COPY", "-|COPY|0"});
    rows("machine", {"M1|K31|Lynx|1.2|2|SATA1:|SATA2:|end",
                     "M1|K31|Lynx|1.2|SATA1,SATA2\nM1\nK31\nLynx\n1.2\n2\nSATA1:\nSATA2:\nend",
                     "a|b|c|d|junk|usb:1:2||end",
                     "a|b|c|d|usb12,\na\nb\nc\nd\njunk\nusb:1:2\n\nend", "", "||||\n"});
    const QString date = "-2024-03-07-09-05-01.txt", odd = QString::fromUtf8("機器1 a..b %2%1");
    rows("log name",
         {odd, odd + date, "../../etc/x", "_._.._etc_x" + date, "a\\b", "a_b" + date,
          QString("a\tb\001c") + QChar(0x7f) + QChar(0x85) + QChar(0), "a_b_c___" + date});
}

void TestClient::parse()
{
    QFETCH(QString, function);
    QFETCH(QString, text);
    QFETCH(QString, result);
    QCOMPARE(apply(function, text), result);
}

void TestClient::csv_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<S>("rows"); // "LINE:field|field"
    QTest::addColumn<QList<int>>("bad");
    const auto row = [](const char *name, const QString &text, const S &rows,
                        const QList<int> &bad = {}) { QTest::newRow(name) << text << rows << bad; };
    // A text of one CRLF-ended record is what record() writes for it.
    row("quoted", "a,,\"x,y\",\"say \"\"hi\"\"\",\"l1\r\nl2\",\"cr\ronly\"\r\n",
        {"1:a||x,y|say \"hi\"|l1\r\nl2|cr\ronly"});
    row("formula guard", "'=1+2,'+1,'-5,'@SUM(A1),a=b,''=x,''','a\r\n",
        {"1:=1+2|+1|-5|@SUM(A1)|a=b|'=x|''|'a"});
    row("LF ends, blank lines, BOM", QChar(0xfeff) + QString::fromUtf8("機台,b\n\n\"c\nd\",e"),
        {QString::fromUtf8("1:機台|b"), "3:c\nd|e"});
    row("quote in plain field", "a\"b,c\r\nok\r\n", {"2:ok"}, {1});
    row("text after closing quote", "\"a\"b\r\nok", {"2:ok"}, {1});
    row("bare CR", "a\rb\r\nok\r\n", {"2:ok"}, {1});
    row("unclosed quote", "x,\"open\r\nnext,1\r\n", {"2:next|1"}, {1});
}

void TestClient::csv()
{
    QFETCH(QString, text);
    QFETCH(S, rows);
    QFETCH(QList<int>, bad);
    const Csv::Table table = Csv::parse(text);
    S got;
    for (const Csv::Row &row : table.rows)
        got << QString::number(row.line) + ':' + row.fields.join('|');
    QCOMPARE(got, rows);
    QCOMPARE(table.badLines.toList(), bad);
    if (text.endsWith("\r\n") && bad.isEmpty())
        QCOMPARE(Csv::record(table.rows.first().fields), text);
}

static RunRecord sampleRecord(int run, int port)
{
    const QDateTime start = QDateTime(QDate(2024, 5, 1), QTime(8, 0)).addSecs(run * 600);
    const QString machine = run % 2 ? QString::fromUtf8("=機台, \"A\"\r") : "B&D";
    // clang-format off
    return {start, start.addSecs(300), 300, machine, "127.0.0.2", run < 0 ? "ERASE" : "COPY",
            QString("SATA%1").arg(port), port ? "target" : "source", "", "+M",
            QString("V%1-%2").arg(run).arg(port), "", "57", S{"OK", "NG", "STOPPED", ""}.at(port),
            ""};
    // clang-format on
}

void TestClient::reportDocumentHoldsEveryRow()
{
    // 30 COPY runs of 4 devices with hostile names, 2 ERASE runs, then rows that are no records.
    QFile copies("runs.csv");
    QVERIFY(copies.open(QIODevice::WriteOnly));
    copies.write(Csv::record(RunRecord::header()).toUtf8());
    for (int run = -2; run < 30; ++run)
        for (int port = 0; port < 4; ++port)
            copies.write(Csv::record(sampleRecord(run, port).fields()).toUtf8());
    const S badRole =
        sampleRecord(0, 0).fields().replaceInStrings(QRegularExpression("^source$"), "spare");
    copies.write("bad,\"row\r\n1,2\r\n" + Csv::record(badRole).toUtf8());
    copies.close();
    const RecordFiles files = readRecordFiles({"runs.csv"});
    QCOMPARE(files.problems.mid(2), S{"runs.csv:132: not a run record"}); // the third of three
    // A run that starts at the period's start is in it.
    const RunFilter fromFirst{"", "", sampleRecord(-2, 0).start, {}};
    const QString text =
        reportDocument(groupRuns(files.records, fromFirst), "host-1", QDateTime::currentDateTime())
            ->toPlainText();
    QVERIFY(text.startsWith("Duplication report\nConsole: host-1\n"));
    QVERIFY(text.contains("\nRuns: 32; devices: OK 32, NG 32, other 64\n"));
    QCOMPARE(text.count(QString::fromUtf8("=機台, \"A\"")), 16 * 2);

    // The tool reports bad rows and fills more than one A4 page with the runs.
    qputenv("LC_PAPER", "C");
    QProcess tool;
    tool.start(TARN_REPORT_BIN, {"-o", "r.pdf", "runs.csv"});
    QVERIFY(tool.waitForFinished(60000) && tool.exitCode() == 0);
    QVERIFY(tool.readAllStandardError().contains("runs.csv:130: not a CSV record\n"));
    QFile file("r.pdf");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    const int pages = pdf.count("/Type /Page\n");
    QVERIFY(pages > 1 && pdf.contains("/Count " + QByteArray::number(pages)));
    QVERIFY(pdf.contains("/MediaBox [0 0 595.000000 842.000000]"));
}

TARN_TEST_MAIN(TestClient)
#include "tst_client.moc"
