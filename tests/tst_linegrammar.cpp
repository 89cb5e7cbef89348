#include <QtTest>

#include "client/wire/csv.h"
#include "client/wire/decimal.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/linecodec.h"
#include "client/wire/lineframer.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "client/wire/runrecord.h"
#include "reportdocument.h"
#include "testkit/testenv.h"

#include <QTextDocument>

using S = QStringList;
using D = DeviceStatus;

class TestLineGrammar : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void csv_data();
    void csv();
    void reportDocumentHoldsEveryRow();
};

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
        return S{QString("ACNOS-").at(d.kind),
                 d.access,
                 d.port,
                 d.capacityText,
                 d.model,
                 d.vendor,
                 d.state,
                 QString::number(d.kind == D::Progress ? d.done : d.capacity)}
            .join('|');
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
    if (function == "source")
        return SettingsBlock::sourceName(text);
    if (function == "log name")
        return runLogFileName(text, QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1)));
    // A locale codec that is not UTF-8 turns non-ASCII text into replacement characters.
    QTextCodec *before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(function.toLatin1()));
    const QString reencoded = reencodeReceivedLine(text);
    QTextCodec::setCodecForLocale(before);
    return reencoded;
}

void TestLineGrammar::parse_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    const auto row = [](const char *function, const QString &text, const QString &result) {
        QTest::newRow(qPrintable(function + QString(": ") + text)) << function << text << result;
    };
    row("frame", "a\nb\r\nc\rd\n", "a,b,c\rd / 0 / ");
    row("frame", "ab~c\r~\n", "abc / 0 / ");
    row("frame", "a\npart", "a / 4 / ");
    row("frame", "\n\nz\n", ",,z / 0 / ");
    row("frame", "12345678\n", "12345678 / 0 / ");
    row("frame", "123456789\nok\n", "ok / 0 / 9");
    row("frame", "before\n~xxxxxx~xxxxxx~xxxxxx~yy\nafter\n", "before,after / 0 / 20");
    row("decimal", "0570", "570");
    row("decimal", "18446744073709551615", "18446744073709551615");
    for (const char *bad : {"", "lots", "-5", "12ab", "0x10", "18446744073709551616"})
        row("decimal", bad, "0");
    // Percentages saturate instead of wrapping.
    row("percent", "570/1000", "57");
    row("percent", "18446744073709551615/18446744073709551615", "100");
    row("percent", "18446744073709551615/1", "18446744073709551615");
    row("device", "@/dev/sda A SATA1 ,1000,WD Blue,WDC", "A|/dev/sda|SATA1|1000|WD Blue|WDC||1000");
    row("device", "@/img/a,b A P1 ,7,M,V,x",
        "A|/img/a,b|P1|b A P1 |7|M||0"); // sections: whole line
    row("device", "@sda Copying 3 570 more", "C|sda||||||570");
    row("device", "@sda C 3", "C|sda||||||0");
    row("device", "@sda OKAY fine", "O|sda||||||0");
    row("device", "@sda S Erasing", "S|sda|||||Erasing|0");
    row("device", "", "-|||||||0");
    row("global", "&S:COPY", "S|COPY|0"); // the separator is dropped whatever it is
    row("global", "&I 2000", "I|2000|2000");
    row("global", "&I", "I||0");
    row("global", "&T disk gone", "T|disk gone|0");
    row("global", "&M a|b", "M|a|b|0");
    row("global", "&s COPY", "-|COPY|0");
    row("machine", "M1|K31|Lynx|1.2|2|SATA1:|SATA2:|end",
        "M1|K31|Lynx|1.2|SATA1,SATA2\nM1\nK31\nLynx\n1.2\n2\nSATA1:\nSATA2:\nend");
    row("machine", "a|b|c|d|junk|usb:1:2||end", "a|b|c|d|usb12,\na\nb\nc\nd\njunk\nusb:1:2\n\nend");
    row("machine", "a|b|c|d|0|end", "a|b|c|d|\na\nb\nc\nd\n0\nend");
    row("machine", "", "||||\n");
    row("source", "source=SATA2", "SATA2");
    row("source", "source=source=P1", "P1");
    const QString date = "-2024-03-07-09-05-01.txt";
    row("log name", QString::fromUtf8("機器1 a..b %2%1"),
        QString::fromUtf8("機器1 a..b %2%1") + date);
    row("log name", "../../etc/x", "_._.._etc_x" + date);
    row("log name", "a\\b", "a_b" + date);
    row("log name", QString("a\tb\001c") + QChar(0x7f) + QChar(0x85) + QChar(0), "a_b_c___" + date);
    row("UTF-8", QString::fromUtf8("機器-一號 A<B>"), QString::fromUtf8("機器-一號 A<B>"));
    row("ISO-8859-1", QString::fromUtf8("plain é"),
        QString("plain ") + QChar(QChar::ReplacementCharacter));
}

void TestLineGrammar::parse()
{
    QFETCH(QString, function);
    QFETCH(QString, text);
    QFETCH(QString, result);
    QCOMPARE(apply(function, text), result);
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

void TestLineGrammar::reportDocumentHoldsEveryRow()
{
    // 30 COPY runs of 4 devices with hostile names, 2 ERASE runs, then rows that are no records.
    QFile copies("runs.csv");
    QVERIFY(copies.open(QIODevice::WriteOnly));
    copies.write(Csv::record(RunRecord::header()).toUtf8());
    for (int run = -2; run < 30; ++run)
        for (int port = 0; port < 4; ++port)
            copies.write(Csv::record(sampleRecord(run, port).fields()).toUtf8());
    S badRole = sampleRecord(0, 0).fields();
    badRole[RunRecord::Role] = "spare";
    copies.write("bad,\"row\r\n1,2\r\n" + Csv::record(badRole).toUtf8());
    copies.close();
    const RecordFiles files = readRecordFiles({"runs.csv"});
    QCOMPARE(files.problems.size(), 3);
    QCOMPARE(files.problems.last(), QString("runs.csv:132: not a run record"));
    QCOMPARE(files.records.first().fields(), sampleRecord(-2, 0).fields());
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

    // The tool reports bad rows and fills more than one A4 page with the runs.
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_PAPER", "C");
    tool.setProcessEnvironment(environment);
    tool.start(TARN_REPORT_BIN, {"-o", "r.pdf", "runs.csv"});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(tool.readAllStandardError().contains("runs.csv:130: not a CSV record\n"));
    QFile file("r.pdf");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    const int pages = pdf.count("/Type /Page\n");
    QVERIFY(pages > 1 && pdf.contains("/Count " + QByteArray::number(pages)));
    QVERIFY(pdf.contains("/MediaBox [0 0 595.000000 842.000000]"));
}

TARN_TEST_MAIN(TestLineGrammar)
#include "tst_linegrammar.moc"
