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
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <memory>

using S = QStringList;

namespace {
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

    bool connect()
    {
        for (const char *page : {"Machines Summary", "Global Log", "Files"})
            tabs.addTab(new QWidget, page);
        if (!listener.listen(QHostAddress::Any, 0) ||
            !peer.connectTo(QHostAddress::LocalHost, listener.serverPort(),
                            QHostAddress(QStringLiteral("127.0.0.3"))) ||
            !ScriptedPeer::waitUntil([this] { return listener.hasPendingConnections(); },
                                     ScriptedPeer::DefaultTimeoutMs))
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
            ScriptedPeer::DefaultTimeoutMs);
    }

    // The cells of a port row, or of the machine row itself for row -1.
    QString row(int row)
    {
        QStandardItem *machine = model.item(client->rowInItems());
        QStringList cells;
        for (int column = 0; column < Client::ColumnCount; ++column)
            cells << (row < 0 ? model.item(machine->row(), column) : machine->child(row, column))
                         ->text();
        return cells.join('|');
    }
    QString machineLog() { return client->frame()->getLogBrowser()->toPlainText(); }
    QString page(const char *browser)
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

    void framing();
    void lines_data();
    void lines();
    void runs_data();
    void runs();
    void terminationThenDisconnect();
    void logPages();

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
    para.translate = 0;
    para.savelog = true;
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
    QSignalSpy reads(rig->socket(), &QTcpSocket::readyRead);
    rig->peer.send("#before\r\n\n#behind\n");
    QTRY_VERIFY(!reads.isEmpty());
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before"));
    QTest::qWait(50); // nothing more may arrive without new data
    QCOMPARE(rig->machineLog(), QStringLiteral("#before"));
    rig->peer.send("#next\n");
    QTRY_COMPARE(rig->machineLog(), QStringLiteral("#before\n#behind\n#next"));

    // A line over the limit is dropped with a note; one exactly at the limit is kept, shown cut.
    const QByteArray atLimit(Client::MaxLineBytes, 'y');
    rig->peer.send(atLimit + "z\n" + atLimit + "\n");
    QTRY_COMPARE(rig->machineLog().split('\n').size(), 5);
    QCOMPARE(rig->machineLog(),
             QStringLiteral("#before\n#behind\n#next\nDropped a line of %1 bytes from the "
                            "machine: lines are limited to %2 bytes.\n%3 … %4 "
                            "more characters")
                 .arg(Client::MaxLineBytes + 1)
                 .arg(Client::MaxLineBytes)
                 .arg(QString(LogPage::ShownLineChars, 'y'))
                 .arg(Client::MaxLineBytes - LogPage::ShownLineChars));
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
    const auto blank = [](const S &ports) {
        S rows;
        for (const QString &port : ports)
            rows << port + "||||||";
        return rows;
    };
    const QString m = "M1|Z7|Lynx||||1.0", p1 = "P1||||||", p2 = "P2||||||", p3 = "P3||||||";
    // The status page is filled by the first line only.
    row("later adds ports", {ThreePorts, "&M M2|Q|R|3.0|1|X1|end"},
        S{"M2|Q|R||||3.0"} + blank({"P1", "P2", "P3", "X1"}));
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
    row("no usable total",
        {b2, "@/dev/sdb C 0 5", "&I 0", "@/dev/sdb C 0 5", "&I x", "@/dev/sdb C 0 5"},
        {m, p1, "P2|M|V|2000|||/dev/sdb", p3});
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
    // Unmatched lines go to the lowest identified row; a row takes names containing its own.
    row("unmatched lines",
        {"&I 100", "@/dev/sdc A P3 ,1,M,V", b2, "@/dev/x C 0 40", "@/dev/x N", "@/dev/sdc1 S Busy"},
        {"M1|Z7|Lynx|||40%|1.0", p1, "P2|M|V|2000|NG|40%|/dev/sdb", "P3|M|V|1|Busy||/dev/sdc"});
    // Identifications of the last run are forgotten; port 0 keeps its access name.
    row("run start blanks rows",
        {"&I 100", a1, b2, "@/dev/sda C 0 50", "@/dev/sdb O", "#old", "&S?COPY", "@/dev/x O",
         "@/dev/sda N"},
        {"M1|Z7|Lynx||COPY|50%|1.0", "P1||||NG||/dev/sda", p2, p3}, "Start COPY\n");
    // Beyond the sixth port no capacity is kept for non-source progress, nor the row found as
    // the lowest identified.
    row("beyond the sixth port",
        {"&M M8|Z|V|1|8|P1|P2|P3|P4|P5|P6|P7|P8|end", "&I 1000", "@/dev/sdh A P8 ,4000,M8,V8",
         "@/dev/sdh C 0 500", "&J", "@/dev/sdh C 0 1000", "@/dev/sdh O", "@/dev/none N"},
        S{"M8|Z|V|||50%|1"} + blank({"P1", "P2", "P3", "P4", "P5", "P6", "P7"}) +
            S{"P8|M8|V8|4000|OK|50%|/dev/sdh"});
    // Lines in a settings block are settings, even an empty line or a run start; a new block
    // moves the source mark, a block without source line clears it.
    row("settings block", {"&N", "", "source=P2", "speed=max", "Settings End", "#after"},
        {m, p1, "*P2||||||", p3}, "#after", "source=P2\nspeed=max\n");
    row("run start inside", {"&N", "source=P2", "#held", "", "&S COPY", "Settings End"},
        {m, p1, "*P2||||||", p3}, "", "source=P2\n#held\n&S COPY\n");
    const S block{"&N", "source=P1", "Settings End"};
    row("no source line",
        S{"&M M1|Z|V|1|3|P1||P3|end"} + block + S{"&N", "mode=fast", "Settings End"},
        {"M1|Z|V||||1", p1, "||||||", p3}, "", "mode=fast\n");
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
    S got{rig->row(-1)};
    for (int port = 0; port < rows.size() - 1; ++port)
        got << rig->row(port);
    QCOMPARE(got, rows);
    QCOMPARE(rig->model.item(0)->rowCount(), rows.size() - 1);
    QCOMPARE(rig->machineLog(), log);
    QCOMPARE(rig->page("textBrowserSettings"), settings);
    const QString name = rows.first().section('|', 0, 0);
    QCOMPARE(rig->tabs.tabText(1), QString(name).replace("&", "&&"));
    const QString first = lines.filter(QRegularExpression("^&M ")).first().mid(3);
    QVERIFY(rig->page("textBrowserStatus").contains(first.section('|', 0, 0)));
}

void TestClient::runs_data()
{
    // After three ports with P1 the source; "-" hangs up, "~" waits, "?": a run log spool is kept,
    // "!": the records file cannot be written.
    QTest::addColumn<S>("lines");
    QTest::addColumn<bool>("saveLog");
    QTest::addColumn<S>("devices"); // port role access model vendor capacity % result
    const S run = QString("&S COPY;&I 100;@/dev/sda A P1 ,100,M1,V1;@/dev/sdb A P2 ,200,M2,V2;"
                          "@/dev/sdc A P3 ,300,M3,V3;@/dev/sdb C 0 50;@/dev/sdb O;@/dev/sdc C 0 20;"
                          "@/dev/sdc N;@/dev/sda S SOURCE")
                      .split(';');
    const QString p1 = "P1|source|/dev/sda|M1|V1|100|", p2 = "P2|target|/dev/sdb|M2|V2|200|",
                  p3 = "P3|target|/dev/sdc|M3|V3|300|";
    const auto row = [](const char *name, const S &lines, const S &devices, bool saveLog = true) {
        QTest::newRow(name) << lines << saveLog << devices;
    };
    row("OK, NG, state word", run + S{"&F done"}, {p1 + "|SOURCE", p2 + "50|OK", p3 + "20|NG"});
    row("save log off", run.mid(0, 4) + S{"&F done"}, {p1 + "|", p2 + "|"}, false);
    // The spool of a run goes with a termination or a disconnect.
    row("disconnect", run.mid(0, 7) + Chatter + S{"?", "-"},
        {p1 + "|disconnected", p2 + "50|disconnected", p3 + "|disconnected"});
    // Identified before the run start: only port row 0, which keeps its access name, is reached.
    row("identified before start",
        run.mid(2, 2) + S{"&S VERIFY", "&I 100", "@/dev/sda C 0 30", "&F ok"}, {p1 + "30|"});
    // A termination ends its run only: the next run's record ends when that run does.
    row("terminated, next run",
        run.mid(0, 4) + Chatter +
            S{"?", "&T stop", "~", "&S ERASE", "@/dev/sda S busy", "&S VERIFY"},
        {p1 + "|", p2 + "|", p1 + "|busy"});
    row("records unwritable", run.mid(0, 4) + S{"!", "&F done"}, {});
    row("end without start", run.mid(3, 1) + S{"&F x"}, {p2 + "|"}, false);
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
    QFETCH(bool, saveLog);
    QFETCH(S, devices);
    para.savelog = saveLog;
    const bool hangUp = lines.removeAll("-") > 0;
    const bool unwritable = lines.removeAll("!") > 0;
    lines = S{ThreePorts, "&N", "source=P1", "Settings End"} + lines;
    const QString machine =
        lines.filter(QRegularExpression("^&M ")).last().mid(3).section('|', 0, 0);
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
        if (i == lines.size() || i == end || mark == "~" || mark == "?") {
            QVERIFY(rig->sendAndSettle(part));
            part.clear();
            QTest::qWait(mark == "~" ? 1100 : 0);
            if (mark == "?")
                QCOMPARE(spools(), 1);
        }
        if (i == end) {
            QCoreApplication::processEvents(); // the tab is trimmed once a burst is over
            shown = rig->machineLog();
        }
        if (i < lines.size() && mark != "~" && mark != "?")
            part << mark;
    }
    if (unwritable) { // the records file's name is taken by a folder
        QCOMPARE(rig->log.toPlainText().count("The run records of M1 could not be written to "), 1);
        QVERIFY(rig->log.toPlainText().endsWith(": Is a directory\n"));
        return;
    }
    if (hangUp) {
        rig->peer.disconnectFromHost();
        QTRY_VERIFY(rig->client.isNull());
    }
    QCOMPARE(spools(), 0);
    const S files = QDir::current().entryList({"tarn-runs-*.csv"});
    QCOMPARE(files.size(), 1);
    QFile file(files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const Csv::Table table = Csv::parse(QString::fromUtf8(file.readAll()));
    QVERIFY(table.badLines.isEmpty());
    QCOMPARE(table.rows.first().fields, RunRecord::header());
    S got;
    const bool logged = saveLog && !hangUp && end >= 0;
    for (const Csv::Row &row : table.rows.mid(1)) {
        RunRecord r;
        QVERIFY(RunRecord::fromFields(row.fields, r));
        QCOMPARE((S{r.machine, r.address}), (S{machine, "127.0.0.3"}));
        QVERIFY(!r.start.isValid() || r.start <= r.end);
        QCOMPARE(QFile::exists(r.runLog), logged);
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

void TestClient::terminationThenDisconnect()
{
    // A termination keeps the machine and writes no run log; a disconnect removes the row before
    // it tells, then the machine's objects.
    QSignalSpy aborts(rig->client.data(), &Client::abortServer);
    QVERIFY(rig->sendAndSettle({ThreePorts, "&S COPY", "#a", "&T disk gone"}));
    QVERIFY(rig->client->stopRequested() && rig->client->isConnected() && aborts.count() == 1);
    QVERIFY(rig->log.toPlainText().endsWith("M1 ask for termination (disk gone)!\n"));
    QCOMPARE(rig->machineLog(), QStringLiteral("Start COPY\n\n#a\nAsk for terminate!\n"));
    QVERIFY(QDir::current().entryList({"*.txt"}).isEmpty());
    QPointer<QWidget> page = rig->client->tabPage();
    connect(rig->client.data(), &Client::abortServer, this,
            [this] { QCOMPARE(rig->model.rowCount(), 0); });
    rig->peer.disconnectFromHost();
    QTRY_VERIFY(rig->client.isNull() && page.isNull() && aborts.count() == 2);
    QVERIFY(rig->log.toPlainText().endsWith("127.0.0.3 is disconnected!\n"));
    QCOMPARE(rig->tabs.count(), 3);
}

void TestClient::logPages()
{
    FrameDevice frame;
    for (QString line : {"#device 1 ok", "<b>not bold</b>", "Start COPY\n", "after",
                         "#a\rb\r\nc\u00a0d\u2028e\u2029f\ufdd0g\ufdd1h\ufffc\r"})
        frame.log(line);
    QCOMPARE(frame.getLogBrowser()->toPlainText(),
             QStringLiteral("#device 1 ok\n<b>not bold</b>\nStart COPY\n\nafter\n"
                            "#a\nb\nc d\ne\nf\ng\nh\ufffc\n"));
    // A line shows so many characters at most, each break in it a line of the page: two such
    // take the 13 lines above and the first of them away.
    QString breaks(LogPage::ShownLineChars + 4, '\r');
    frame.log(breaks);
    frame.log(breaks);
    QCoreApplication::processEvents();
    QCOMPARE(frame.getLogBrowser()->toPlainText(), "Earlier lines left out: 8206\n" +
                                                       QString(LogPage::ShownLineChars, '\n') +
                                                       " … 4 more characters");

    // Over the line limit a tenth more leaves; 300 paragraphs of 8,001 characters go down to 90 %
    // of 2 Mi characters. A cleared page counts again from nothing.
    const int limit = LogPage::MachineLimits.lines;
    for (const QVector<int> &c : {QVector<int>{limit + 1, 8, limit / 10 + 1}, {300, 8000, 65}}) {
        auto *settings = frame.findChild<QTextBrowser *>("textBrowserSettings");
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
        QVERIFY(settings->toPlainText().startsWith(noted));
        QVERIFY(settings->toPlainText().endsWith(last + '\n'));
    }
}

TARN_TEST_MAIN(TestClient)
#include "tst_client.moc"
