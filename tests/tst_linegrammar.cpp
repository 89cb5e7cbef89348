#include <QtTest>

#include "client/wire/decimal.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/linecodec.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "testkit/testenv.h"

#include <limits>

Q_DECLARE_METATYPE(DeviceStatus::Kind)
Q_DECLARE_METATYPE(GlobalStatus::Kind)

class TestLineGrammar : public QObject
{
    Q_OBJECT

private slots:
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
    void portNames_data();
    void portNames();
    void reencodingKeepsUtf8UnderUtf8Locale();
    void runLogName_data();
    void runLogName();
};

void TestLineGrammar::decimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("value");
    QTest::newRow("plain") << "2000" << quint64(2000);
    QTest::newRow("leading zero") << "0570" << quint64(570);
    QTest::newRow("empty") << "" << quint64(0);
    QTest::newRow("word") << "lots" << quint64(0);
    QTest::newRow("negative") << "-5" << quint64(0);
    QTest::newRow("trailing garbage") << "12ab" << quint64(0);
    QTest::newRow("hex is not decimal") << "0x10" << quint64(0);
    QTest::newRow("largest") << "18446744073709551615" << std::numeric_limits<quint64>::max();
    QTest::newRow("beyond 64 bits") << "18446744073709551616" << quint64(0);
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
    QTest::addColumn<DeviceStatus::Kind>("kind");
    QTest::addColumn<QString>("access");
    QTest::addColumn<QStringList>("fields"); // port, capacity text, model, vendor, state
    QTest::addColumn<quint64>("number");     // capacity or done

    using S = QStringList;
    QTest::newRow("identify") << "@/dev/sda A SATA1 ,1000,WD Blue,WDC" << DeviceStatus::Identify
                              << "/dev/sda" << S{"SATA1", "1000", "WD Blue", "WDC", ""}
                              << quint64(1000);
    QTest::newRow("identify, sections over whole line")
        << "@/img/a,b A P1 ,7,M,V,extra" << DeviceStatus::Identify << "/img/a,b"
        << S{"P1", "b A P1 ", "7", "M", ""} << quint64(0);
    QTest::newRow("identify without sections")
        << "@sdb A P2" << DeviceStatus::Identify << "sdb" << S{"P2", "", "", "", ""} << quint64(0);
    QTest::newRow("identify without port")
        << "@sdb A" << DeviceStatus::Identify << "sdb" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("identify, capacity not a number")
        << "@sdb A P2 ,big,M,V" << DeviceStatus::Identify << "sdb" << S{"P2", "big", "M", "V", ""}
        << quint64(0);
    QTest::newRow("progress") << "@sda C 3 570" << DeviceStatus::Progress << "sda"
                              << S{"", "", "", "", ""} << quint64(570);
    QTest::newRow("progress, kind word") << "@sda Copying 3 570 more" << DeviceStatus::Progress
                                         << "sda" << S{"", "", "", "", ""} << quint64(570);
    QTest::newRow("progress without done")
        << "@sda C 3" << DeviceStatus::Progress << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("progress, done not a number")
        << "@sda C 3 x" << DeviceStatus::Progress << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("progress, double space") << "@sda C  570" << DeviceStatus::Progress << "sda"
                                            << S{"", "", "", "", ""} << quint64(570);
    QTest::newRow("failed") << "@sda N" << DeviceStatus::Failed << "sda" << S{"", "", "", "", ""}
                            << quint64(0);
    QTest::newRow("passed, anything after O")
        << "@sda OKAY fine" << DeviceStatus::Passed << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("state") << "@sda S Erasing" << DeviceStatus::State << "sda"
                           << S{"", "", "", "", "Erasing"} << quint64(0);
    QTest::newRow("state without word")
        << "@sda S" << DeviceStatus::State << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("unknown kind") << "@sda X 1 2" << DeviceStatus::Other << "sda"
                                  << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("lower-case kind")
        << "@sda c 1 2" << DeviceStatus::Other << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("empty kind token")
        << "@sda " << DeviceStatus::Other << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("no kind token")
        << "@sda" << DeviceStatus::Other << "sda" << S{"", "", "", "", ""} << quint64(0);
    QTest::newRow("marker alone") << "@" << DeviceStatus::Other << "" << S{"", "", "", "", ""}
                                  << quint64(0);
    QTest::newRow("empty line") << "" << DeviceStatus::Other << "" << S{"", "", "", "", ""}
                                << quint64(0);
}

void TestLineGrammar::deviceStatus()
{
    QFETCH(QString, line);
    QFETCH(DeviceStatus::Kind, kind);
    QFETCH(QString, access);
    QFETCH(QStringList, fields);
    QFETCH(quint64, number);

    const DeviceStatus status = DeviceStatus::parse(line);
    QCOMPARE(status.kind, kind);
    QCOMPARE(status.access, access);
    QCOMPARE(status.port, fields.at(0));
    QCOMPARE(status.capacityText, fields.at(1));
    QCOMPARE(status.model, fields.at(2));
    QCOMPARE(status.vendor, fields.at(3));
    QCOMPARE(status.state, fields.at(4));
    QCOMPARE(kind == DeviceStatus::Progress ? status.done : status.capacity, number);
}

void TestLineGrammar::percent_data()
{
    QTest::addColumn<quint64>("done");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("percent");
    constexpr quint64 Max = std::numeric_limits<quint64>::max();
    QTest::newRow("57") << quint64(570) << quint64(1000) << quint64(57);
    QTest::newRow("beyond 100") << quint64(1050) << quint64(1000) << quint64(105);
    QTest::newRow("rounds down") << quint64(999) << quint64(1000) << quint64(99);
    QTest::newRow("nothing done") << quint64(0) << quint64(7) << quint64(0);
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
    QTest::addColumn<GlobalStatus::Kind>("kind");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<quint64>("total");

    QTest::newRow("run start") << "&S COPY" << GlobalStatus::RunStart << "COPY" << quint64(0);
    QTest::newRow("separator dropped whatever it is")
        << "&S:COPY" << GlobalStatus::RunStart << "COPY" << quint64(0);
    QTest::newRow("run end") << "&F all done" << GlobalStatus::RunEnd << "all done" << quint64(0);
    QTest::newRow("total") << "&I 2000" << GlobalStatus::RunTotal << "2000" << quint64(2000);
    QTest::newRow("total not a number")
        << "&I many" << GlobalStatus::RunTotal << "many" << quint64(0);
    QTest::newRow("total missing") << "&I" << GlobalStatus::RunTotal << "" << quint64(0);
    QTest::newRow("no source") << "&J whatever" << GlobalStatus::NoSource << "whatever"
                               << quint64(0);
    QTest::newRow("terminate") << "&T disk gone" << GlobalStatus::Terminate << "disk gone"
                               << quint64(0);
    QTest::newRow("machine info") << "&M a|b" << GlobalStatus::MachineInfo << "a|b" << quint64(0);
    QTest::newRow("settings") << "&N" << GlobalStatus::SettingsBlock << "" << quint64(0);
    QTest::newRow("file list") << "&R a.img|b.img" << GlobalStatus::FileList << "a.img|b.img"
                               << quint64(0);
    QTest::newRow("empty file list") << "&R " << GlobalStatus::FileList << "" << quint64(0);
    QTest::newRow("marker alone") << "&" << GlobalStatus::Other << "" << quint64(0);
    QTest::newRow("unknown kind") << "&Z 1" << GlobalStatus::Other << "1" << quint64(0);
    QTest::newRow("lower-case kind") << "&s COPY" << GlobalStatus::Other << "COPY" << quint64(0);
}

void TestLineGrammar::globalStatus()
{
    QFETCH(QString, line);
    QFETCH(GlobalStatus::Kind, kind);
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
    QTest::newRow("plain") << "source=SATA2"
                           << "SATA2";
    QTest::newRow("with prefix") << "  source=SATA2"
                                 << "  SATA2";
    QTest::newRow("key twice") << "source=source=P1"
                               << "P1";
    QTest::newRow("no line") << ""
                             << "";
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
    QTest::addColumn<QStringList>("identity"); // name, model, vendor, version
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("portSection");

    using S = QStringList;
    QTest::newRow("full") << "M1|K31|Lynx|1.2|2|SATA1:|SATA2:|end" << S{"M1", "K31", "Lynx", "1.2"}
                          << "M1\nK31\nLynx\n1.2\n2\nSATA1:\nSATA2:\nend"
                          << "2\nSATA1:\nSATA2:\nend";
    QTest::newRow("no ports") << "M1|K31|Lynx|1.2" << S{"M1", "K31", "Lynx", "1.2"}
                              << "M1\nK31\nLynx\n1.2"
                              << "";
    QTest::newRow("two lines") << "M1|K31" << S{"M1", "K31", "", ""} << "M1\nK31"
                               << "";
    QTest::newRow("empty") << "" << S{"", "", "", ""} << ""
                           << "";
}

void TestLineGrammar::machineInfo()
{
    QFETCH(QString, payload);
    QFETCH(QStringList, identity);
    QFETCH(QString, text);
    QFETCH(QString, portSection);

    const MachineInfo info = MachineInfo::parse(payload);
    QCOMPARE((QStringList{info.name, info.model, info.vendor, info.version}), identity);
    QCOMPARE(info.text, text);
    QCOMPARE(info.portSection, portSection);
}

void TestLineGrammar::portNames_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("names");
    using S = QStringList;
    QTest::newRow("colons hidden") << "2\nSATA1:\nSATA2:\nend" << S{"SATA1", "SATA2"};
    QTest::newRow("count and end ignored") << "junk\nP1\nP2\n" << S{"P1", "P2"};
    QTest::newRow("empty port piece") << "1\n\nend" << S{""};
    QTest::newRow("colon inside") << "1\nusb:1:2\nend" << S{"usb12"};
    QTest::newRow("count and end only") << "0\nend" << S{};
    QTest::newRow("single line") << "8" << S{};
    QTest::newRow("nothing") << "" << S{};
}

void TestLineGrammar::portNames()
{
    QFETCH(QString, section);
    QFETCH(QStringList, names);
    QCOMPARE(MachineInfo::portNames(section), names);
}

void TestLineGrammar::reencodingKeepsUtf8UnderUtf8Locale()
{
    QTextCodec *before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    const QString name = QString::fromUtf8("機器-一號 A<B>");
    QCOMPARE(reencodeReceivedLine(name), name);
    QCOMPARE(reencodeReceivedLine(QString()), QString());
    // A local 8-bit encoding that is not UTF-8 turns non-ASCII text into replacement characters.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    QCOMPARE(reencodeReceivedLine(QStringLiteral("plain ascii")), QStringLiteral("plain ascii"));
    QCOMPARE(reencodeReceivedLine(QString::fromUtf8("é")), QString(QChar::ReplacementCharacter));
    QTextCodec::setCodecForLocale(before);
}

void TestLineGrammar::runLogName_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("fileName");
    const QString stamp = QStringLiteral("-2024-03-07-09-05-01.txt");
    QTest::newRow("plain") << "M1"
                           << "M1" + stamp;
    QTest::newRow("unicode kept") << QString::fromUtf8("機器1")
                                  << QString::fromUtf8("機器1") + stamp;
    QTest::newRow("slashes") << "../../etc/x"
                             << "_._.._etc_x" + stamp;
    QTest::newRow("backslash") << "a\\b"
                               << "a_b" + stamp;
    QTest::newRow("leading dot") << ".hidden"
                                 << "_hidden" + stamp;
    QTest::newRow("inner dots kept") << "a..b"
                                     << "a..b" + stamp;
    QTest::newRow("control characters") << QString("a\tb\x01"
                                                   "c") +
                                               QChar(0x7f) + QChar(0x85)
                                        << "a_b_c__" + stamp;
    QTest::newRow("nul") << QString(QChar(0)) + "x"
                         << "_x" + stamp;
    QTest::newRow("placeholder text kept") << "%2%1"
                                           << "%2%1" + stamp;
    QTest::newRow("empty") << "" << stamp;
}

void TestLineGrammar::runLogName()
{
    QFETCH(QString, machine);
    QFETCH(QString, fileName);
    const QDateTime when(QDate(2024, 3, 7), QTime(9, 5, 1));
    QCOMPARE(runLogFileName(machine, when), fileName);
}

TARN_TEST_MAIN(TestLineGrammar)
#include "tst_linegrammar.moc"
