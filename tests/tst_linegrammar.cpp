#include <QtTest>

#include "client/wire/csv.h"
#include "client/wire/decimal.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/lineframer.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "client/wire/runrecord.h"
#include "reportdocument.h"
#include "testkit/testenv.h"

#include <QTextDocument>

#include <limits>

Q_DECLARE_METATYPE(DeviceStatus::Kind)
Q_DECLARE_METATYPE(GlobalStatus::Kind)

using S = QStringList;
using L = QList<QByteArray>;
using D = DeviceStatus;
using G = GlobalStatus;
static constexpr quint64 Max = std::numeric_limits<quint64>::max();

class TestLineGrammar : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void decimal_data();
    void decimal();
    void deviceStatus_data();
    void deviceStatus();
    void percent_data();
    void percent();
    void globalStatus_data();
    void globalStatus();
    void settingsSource_data();
    void settingsSource();
    void machineInfo_data();
    void machineInfo();
    void runLogName_data();
    void runLogName();
    void csv_data();
    void csv();
    void report_data();
    void report();
    void reportDocumentHoldsEveryRow();
};

void TestLineGrammar::framing_data()
{
    QTest::addColumn<L>("segments");
    QTest::addColumn<L>("lines");
    QTest::addColumn<qint64>("leftOver");
    QTest::addColumn<QList<qint64>>("dropped"); // lengths of lines over the limit of 8
    const auto row = [](const char *name, const L &segments, const L &lines, qint64 leftOver = 0,
                        const QList<qint64> &dropped = {}) {
        QTest::newRow(name) << segments << lines << leftOver << dropped;
    };
    row("empty", {}, {});
    row("two lines, CRLF, lone CR", {"a\nb\r\nc\rd\n"}, {"a", "b", "c\rd"});
    row("line and CRLF over segments", {"ab", "c\r", "\n"}, {"abc"});
    row("partial tail waits", {"a\npart"}, {"a"}, 4);
    row("empty lines", {"\n\nz\n"}, {"", "", "z"});
    row("exactly the limit is kept", {"12345678\n"}, {"12345678"});
    row("over the limit in one piece", {"123456789\nok\n"}, {"ok"}, 0, {9});
    // Never more than the limit is held while an over-long line comes in.
    row("over the limit in pieces", {"before\n", "xxxxxx", "xxxxxx", "xxxxxx", "yy\nafter\n"},
        {"before", "after"}, 0, {20});
}

void TestLineGrammar::framing()
{
    QFETCH(L, segments);
    QFETCH(L, lines);
    QFETCH(qint64, leftOver);
    QFETCH(QList<qint64>, dropped);
    const int limit = 8;
    LineFramer framer(limit);
    L got;
    for (const QByteArray &s : segments) {
        framer.append(s);
        QByteArray line;
        while (framer.takeLine(line))
            got << line;
        QVERIFY(framer.bufferedBytes() <= limit);
    }
    QCOMPARE(got, lines);
    QCOMPARE(framer.bufferedBytes(), leftOver);
    QCOMPARE(framer.takeDroppedLines(), dropped);
}

void TestLineGrammar::decimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("value");
    QTest::newRow("leading zero") << "0570" << quint64(570);
    QTest::newRow("largest") << "18446744073709551615" << Max;
    for (const char *bad : {"", "lots", "-5", "12ab", "0x10", "18446744073709551616"})
        QTest::newRow(bad) << bad << quint64(0);
}

void TestLineGrammar::decimal()
{
    QFETCH(QString, text);
    QFETCH(quint64, value);
    QCOMPARE(parseDecimal(text), value);
}

void TestLineGrammar::deviceStatus_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<D::Kind>("kind");
    QTest::addColumn<QString>("access");
    QTest::addColumn<S>("fields"); // port, capacity text, model, vendor, state; missing ones empty
    QTest::addColumn<quint64>("number"); // capacity, or done for progress
    const auto row = [](const char *name, const char *line, D::Kind kind, const char *access,
                        quint64 number = 0, S fields = {}) {
        while (fields.size() < 5)
            fields << QString();
        QTest::newRow(name) << line << kind << access << fields << number;
    };
    row("identify", "@/dev/sda A SATA1 ,1000,WD Blue,WDC", D::Identify, "/dev/sda", 1000,
        {"SATA1", "1000", "WD Blue", "WDC"});
    row("identify, sections over whole line", "@/img/a,b A P1 ,7,M,V,extra", D::Identify,
        "/img/a,b", 0, {"P1", "b A P1 ", "7", "M"});
    row("identify without sections", "@sdb A P2", D::Identify, "sdb", 0, {"P2"});
    row("progress, kind word", "@sda Copying 3 570 more", D::Progress, "sda", 570);
    row("progress without done", "@sda C 3", D::Progress, "sda");
    row("progress, double space", "@sda C  570", D::Progress, "sda", 570);
    row("failed", "@sda N", D::Failed, "sda");
    row("passed, anything after O", "@sda OKAY fine", D::Passed, "sda");
    row("state", "@sda S Erasing", D::State, "sda", 0, {"", "", "", "", "Erasing"});
    row("empty line", "", D::Other, "");
}

void TestLineGrammar::deviceStatus()
{
    QFETCH(QString, line);
    QFETCH(D::Kind, kind);
    QFETCH(QString, access);
    QFETCH(S, fields);
    QFETCH(quint64, number);
    const DeviceStatus status = DeviceStatus::parse(line);
    QCOMPARE(status.kind, kind);
    QCOMPARE(status.access, access);
    QCOMPARE((S{status.port, status.capacityText, status.model, status.vendor, status.state}),
             fields);
    QCOMPARE(kind == D::Progress ? status.done : status.capacity, number);
}

void TestLineGrammar::percent_data()
{
    QTest::addColumn<quint64>("done");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("percent");
    QTest::newRow("57") << quint64(570) << quint64(1000) << quint64(57);
    QTest::newRow("huge counts do not wrap") << Max << Max << quint64(100);
    QTest::newRow("saturates") << Max << quint64(1) << Max;
}

void TestLineGrammar::percent()
{
    QFETCH(quint64, done);
    QFETCH(quint64, total);
    QFETCH(quint64, percent);
    QCOMPARE(progressPercent(done, total), percent);
}

void TestLineGrammar::globalStatus_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<G::Kind>("kind");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<quint64>("total");
    const auto row = [](const char *line, G::Kind kind, const char *payload, quint64 total = 0) {
        QTest::newRow(line) << line << kind << payload << total;
    };
    row("&S:COPY", G::RunStart, "COPY"); // the separator is dropped whatever it is
    row("&F all done", G::RunEnd, "all done");
    row("&I 2000", G::RunTotal, "2000", 2000);
    row("&I", G::RunTotal, "");
    row("&J whatever", G::NoSource, "whatever");
    row("&T disk gone", G::Terminate, "disk gone");
    row("&M a|b", G::MachineInfo, "a|b");
    row("&N", G::SettingsBlock, "");
    row("&R ", G::FileList, "");
    row("&s COPY", G::Other, "COPY");
}

void TestLineGrammar::globalStatus()
{
    QFETCH(QString, line);
    QFETCH(G::Kind, kind);
    QFETCH(QString, payload);
    QFETCH(quint64, total);
    const GlobalStatus status = GlobalStatus::parse(line);
    QCOMPARE(status.kind, kind);
    QCOMPARE(status.payload, payload);
    QCOMPARE(status.total, total);
}

void TestLineGrammar::settingsSource_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    for (const auto &row : {S{"source=SATA2", "SATA2"}, S{"  source=SATA2", "  SATA2"},
                            S{"source=source=P1", "P1"}, S{"", ""}})
        QTest::newRow(qPrintable(row.first())) << row.first() << row.last();
}

void TestLineGrammar::settingsSource()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QCOMPARE(SettingsBlock::sourceName(line), name);
}

void TestLineGrammar::machineInfo_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<S>("identity"); // name, model, vendor, version
    QTest::addColumn<QString>("text");
    QTest::addColumn<S>("ports");
    QTest::newRow("full") << "M1|K31|Lynx|1.2|2|SATA1:|SATA2:|end" << S{"M1", "K31", "Lynx", "1.2"}
                          << "M1\nK31\nLynx\n1.2\n2\nSATA1:\nSATA2:\nend" << S{"SATA1", "SATA2"};
    QTest::newRow("count and end ignored, colon inside")
        << "a|b|c|d|junk|usb:1:2||end" << S{"a", "b", "c", "d"}
        << "a\nb\nc\nd\njunk\nusb:1:2\n\nend" << S{"usb12", ""};
    QTest::newRow("count and end only")
        << "a|b|c|d|0|end" << S{"a", "b", "c", "d"} << "a\nb\nc\nd\n0\nend" << S{};
    QTest::newRow("no ports") << "M1|K31" << S{"M1", "K31", "", ""} << "M1\nK31" << S{};
    QTest::newRow("empty") << "" << S{"", "", "", ""} << "" << S{};
}

void TestLineGrammar::machineInfo()
{
    QFETCH(QString, payload);
    QFETCH(S, identity);
    QFETCH(QString, text);
    QFETCH(S, ports);
    const MachineInfo info = MachineInfo::parse(payload);
    QCOMPARE((S{info.name, info.model, info.vendor, info.version}), identity);
    QCOMPARE(info.text, text);
    QCOMPARE(MachineInfo::portNames(info.portSection), ports);
}

void TestLineGrammar::runLogName_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("base");
    const auto row = [](const char *name, const QString &machine, const QString &base) {
        QTest::newRow(name) << machine << base;
    };
    row("unicode, inner dots, placeholders kept", QString::fromUtf8("機器1 a..b %2%1"),
        QString::fromUtf8("機器1 a..b %2%1"));
    row("slashes, leading dot", "../../etc/x", "_._.._etc_x");
    row("backslash", "a\\b", "a_b");
    row("control characters, nul", QString("a\tb\001c") + QChar(0x7f) + QChar(0x85) + QChar(0),
        "a_b_c___");
    row("empty", "", "");
}

void TestLineGrammar::runLogName()
{
    QFETCH(QString, machine);
    QFETCH(QString, base);
    QCOMPARE(runLogFileName(machine, QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1))),
             base + "-2024-03-07-09-05-01.txt");
}

void TestLineGrammar::csv_data()
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

void TestLineGrammar::csv()
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
    return {start,
            start.addSecs(300),
            300,
            run % 2 ? QString::fromUtf8("=機台, \"A\"\r") : "B&D",
            "127.0.0.2",
            run < 0 ? "ERASE" : "COPY",
            QString("SATA%1").arg(port),
            port ? "target" : "source",
            "",
            "+M",
            QString("V%1-%2").arg(run).arg(port),
            "",
            "57",
            S{"OK", "NG", "STOPPED", ""}.at(port),
            ""};
}

// 30 COPY runs of 4 devices with hostile names, then 5 rows that are no records; 2 ERASE runs.
static void writeRecordFiles()
{
    QFile copies("runs.csv");
    QFile erases("erase.csv");
    QVERIFY(copies.open(QIODevice::WriteOnly) && erases.open(QIODevice::WriteOnly));
    copies.write(Csv::record(RunRecord::header()).toUtf8());
    for (int run = -2; run < 30; ++run)
        for (int port = 0; port < 4; ++port)
            (run < 0 ? erases : copies)
                .write(Csv::record(sampleRecord(run, port).fields()).toUtf8());
    copies.write("bad,\"row\r\n1,2\r\n");
    for (int column : {RunRecord::RunStart, RunRecord::Role, RunRecord::Percentage}) {
        S fields = sampleRecord(0, 0).fields();
        fields[column] = S{"2024-05-01T10:00:00", "spare", "57%"}.at(column % 3);
        copies.write(Csv::record(fields).toUtf8());
    }
}

void TestLineGrammar::report_data()
{
    QTest::addColumn<S>("args");
    QTest::addColumn<QString>("paper"); // LC_PAPER
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on stderr
    const auto row = [](const char *name, const S &args, int exitCode, const char *said,
                        const char *paper = "C") {
        QTest::newRow(name) << args << paper << exitCode << said;
    };
    row("all", {"-o", "r.pdf", "runs.csv", "erase.csv"}, 0,
        "runs.csv:122: not a CSV record\ntarn-report: skipped runs.csv:123: not a run record");
    row("erase on letter", {"--operation", "erase", "-o", "r.pdf", "erase.csv"}, 0, "",
        "en_US.UTF-8");
    row("nothing left", {"--machine", "B&D", "--until", "2024-04-30", "-o", "r.pdf", "runs.csv"}, 1,
        "no run");
    row("no file", {"-o", "r.pdf", "none.csv"}, 1, "none.csv: ");
    row("no output", {"runs.csv"}, 2, "-o OUT.pdf");
    row("help", {"--help"}, 0, "");
}

void TestLineGrammar::report()
{
    QFETCH(S, args);
    QFETCH(QString, paper);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    writeRecordFiles();
    QFile::remove("r.pdf");
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_PAPER", paper);
    tool.setProcessEnvironment(environment);
    tool.start(TARN_REPORT_BIN, args);
    QVERIFY(tool.waitForFinished(60000));
    const QString errors = tool.readAllStandardError();
    QCOMPARE(tool.exitCode(), exitCode);
    QVERIFY2(errors.contains(said), qPrintable(errors));
    QCOMPARE(tool.readAllStandardOutput().contains("--operation <OP>"), args == S{"--help"});
    QFile file("r.pdf");
    QCOMPARE(file.open(QIODevice::ReadOnly), exitCode == 0 && args != S{"--help"});
    if (!file.isOpen())
        return;
    // Thirty runs fill more than one page; two runs fit on one.
    const QByteArray pdf = file.readAll();
    const int pages = pdf.count("/Type /Page\n");
    QVERIFY(pages > 0 && (pages > 1) == args.contains("runs.csv"));
    QVERIFY(pdf.contains("/Count " + QByteArray::number(pages)));
    QVERIFY(pdf.contains(paper == "C" ? "/MediaBox [0 0 595.000000 842.000000]"
                                      : "/MediaBox [0 0 612.000000 792.000000]"));
}

void TestLineGrammar::reportDocumentHoldsEveryRow()
{
    writeRecordFiles();
    const RecordFiles files = readRecordFiles({"runs.csv", "erase.csv"});
    QCOMPARE(files.problems.size(), 5);
    QCOMPARE(files.problems.last(), QString("runs.csv:126: not a run record"));
    QCOMPARE(files.records.first().fields(), sampleRecord(0, 0).fields());
    // A run that starts at the period's start is in it.
    const RunFilter fromFirst{"", "", sampleRecord(-2, 0).start, {}};
    const QString text =
        reportDocument(groupRuns(files.records, fromFirst), "host-1", QDateTime::currentDateTime())
            ->toPlainText();
    for (int run = -2; run < 30; ++run)
        for (int port = 0; port < 4; ++port)
            QVERIFY(text.contains(sampleRecord(run, port).vendor + '\n'));
    QVERIFY(text.startsWith("Duplication report\nConsole: host-1\n"));
    QVERIFY(text.contains("\nRuns: 32; devices: OK 32, NG 32, other 64\n"));
    QCOMPARE(text.count(QString::fromUtf8("=機台, \"A\"")), 16 * 2);
    QCOMPARE(reportTitle(groupRuns(files.records, RunFilter{"", "Erase", {}, {}})),
             QString("Erasure report"));
    QCOMPARE(isoLocalTime(QDateTime(QDate(2024, 5, 1), QTime(9, 5), Qt::OffsetFromUTC, -16200)),
             QString("2024-05-01T09:05:00-04:30"));
}

TARN_TEST_MAIN(TestLineGrammar)
#include "tst_linegrammar.moc"
