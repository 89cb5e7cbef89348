#include <QtTest>

#include "image/brieflogtable.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "testkit/testenv.h"

Q_DECLARE_METATYPE(SStripInLogDiskMy)

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray validHead(quint32 options = 0)
{
    return ImageHead::built(options).encoded();
}

QByteArray writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return QByteArray();
    return bytes;
}
} // namespace

class TestImageFile : public QObject
{
    Q_OBJECT

private slots:
    void constants();
    void headLayout();
    void headRoundTripKeepsEveryByte();
    void entryLayout_data();
    void entryLayout();
    void tailLayout();
    void decodeNeedsWholeRecords_data();
    void decodeNeedsWholeRecords();
    void headCheck_data();
    void headCheck();
    void checksumHex_data();
    void checksumHex();
    void entryData_data();
    void entryData();
    void blocks_data();
    void blocks();
    void table_data();
    void table();
    void tableCutAtLogSize();
    void streamBytes_data();
    void streamBytes();
    void capacity_data();
    void capacity();
    void capacityScanIsNotBoundByLogSize();
    void capacityOfMissingFile();
};

void TestImageFile::constants()
{
    QCOMPARE(ImageHead::Token, 0x22156076u);
    QCOMPARE(ImageHead::Version, 2u);
    QCOMPARE(ImageHead::SliceSize, 2047u);
    QCOMPARE(ImageHead::OptionFastChecksum, 1u);
    QCOMPARE(ImageTail::Token, 0x67065122u);
    QCOMPARE(LogSize, 61680);
    QCOMPARE(BUFFER_SIZE, 1048576);
    // A whole table in memory stays just under the block size.
    QCOMPARE(qint64(LogSize) * SStripInLogDiskMy::Size, qint64(1048560));
    QCOMPARE(int(sizeof(ImageHead)), 408);
    QCOMPARE(int(sizeof(SStripInLogDiskMy)), 17);
    QCOMPARE(int(sizeof(ImageTail)), 8);
}

void TestImageFile::headLayout()
{
    ImageHead head = ImageHead::built(ImageHead::OptionFastChecksum);
    head.ulDevCap = Q_UINT64_C(0x0102030405060708);
    head.Rev0[0] = 0x11;
    head.Rev0[15] = 0x12;
    head.Rev1[0] = 0x21;
    head.Rev1[31] = 0x22;
    head.Rev2[0] = 0x31;
    head.Rev2[127] = 0x32;
    const QByteArray bytes = head.encoded();
    QCOMPARE(bytes.size(), 408);
    QCOMPARE(bytes.mid(0, 4), hex("76601522"));
    QCOMPARE(bytes.mid(4, 4), hex("02000000"));
    QCOMPARE(bytes.mid(8, 4), hex("ff070000"));
    QCOMPARE(bytes.mid(12, 4), hex("01000000"));
    QCOMPARE(bytes.mid(16, 8), hex("0807060504030201"));
    QCOMPARE(bytes.mid(24, 8), hex("1100000000000000"));
    QCOMPARE(bytes.mid(144, 8), hex("1200000000000000"));
    QCOMPARE(bytes.mid(152, 4), hex("21000000"));
    QCOMPARE(bytes.mid(276, 4), hex("22000000"));
    QCOMPARE(quint8(bytes.at(280)), quint8(0x31));
    QCOMPARE(quint8(bytes.at(407)), quint8(0x32));
}

void TestImageFile::headRoundTripKeepsEveryByte()
{
    QByteArray bytes(ImageHead::Size, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 + 5);
    QCOMPARE(ImageHead::decode(bytes.constData()).encoded(), bytes);
}

void TestImageFile::entryLayout_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("sectors");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("run") << 1 << qint64(0x0102) << qint64(2049)
                         << hex("01"
                                "0201000000000000"
                                "0108000000000000");
    QTest::newRow("end") << 3 << qint64(0) << qint64(0x7fffffffffffffff)
                         << hex("03"
                                "0000000000000000"
                                "ffffffffffffff7f");
    QTest::newRow("negative run") << 1 << qint64(-1) << qint64(-2)
                                  << hex("01"
                                         "ffffffffffffffff"
                                         "feffffffffffffff");
    QTest::newRow("other type") << 0xfe << qint64(1) << qint64(0)
                                << hex("fe"
                                       "0100000000000000"
                                       "0000000000000000");
}

void TestImageFile::entryLayout()
{
    QFETCH(int, type);
    QFETCH(qint64, offset);
    QFETCH(qint64, sectors);
    QFETCH(QByteArray, bytes);

    SStripInLogDiskMy entry;
    entry.tp_cmd = quint8(type);
    entry.off_trg = offset;
    entry.cn_sector = sectors;
    QCOMPARE(entry.encoded(), bytes);
    SStripInLogDiskMy back;
    QVERIFY(SStripInLogDiskMy::decode(bytes, back));
    QCOMPARE(int(back.tp_cmd), type);
    QCOMPARE(qint64(back.off_trg), offset); // by value: packed fields do not bind to references
    QCOMPARE(qint64(back.cn_sector), sectors);
}

void TestImageFile::tailLayout()
{
    ImageTail tail;
    tail.token = ImageTail::Token;
    tail.checksum = 0xa1b2c3d4;
    QCOMPARE(tail.encoded(), hex("22510667"
                                 "d4c3b2a1"));
    ImageTail back;
    QVERIFY(ImageTail::decode(hex("22510667"
                                  "d4c3b2a1"),
                              back));
    QVERIFY(back.isTokenValid());
    QCOMPARE(quint32(back.checksum), 0xa1b2c3d4u);
    QVERIFY(ImageTail::decode(hex("22510668"
                                  "00000000"),
                              back));
    QVERIFY(!back.isTokenValid());
}

void TestImageFile::decodeNeedsWholeRecords_data()
{
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("decoded");

    for (int record : {ImageHead::Size, SStripInLogDiskMy::Size, ImageTail::Size}) {
        const QByteArray name = QByteArray::number(record);
        QTest::newRow(name + " empty") << record << 0 << false;
        QTest::newRow(name + " one short") << record << record - 1 << false;
        QTest::newRow(name + " whole") << record << record << true;
        QTest::newRow(name + " with more behind") << record << record + 3 << true;
    }
}

void TestImageFile::decodeNeedsWholeRecords()
{
    QFETCH(int, record);
    QFETCH(int, length);
    QFETCH(bool, decoded);

    const QByteArray bytes(length, '\x03');
    bool ok = false;
    if (record == ImageHead::Size) {
        ImageHead head;
        ok = ImageHead::decode(bytes, head);
    } else if (record == SStripInLogDiskMy::Size) {
        SStripInLogDiskMy entry;
        ok = SStripInLogDiskMy::decode(bytes, entry);
        QVERIFY(!ok || entry.isEnd());
    } else {
        ImageTail tail;
        ok = ImageTail::decode(bytes, tail);
    }
    QCOMPARE(ok, decoded);
}

void TestImageFile::headCheck_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("check");

    const int ok = int(ImageHead::Check::Ok);
    const int badToken = int(ImageHead::Check::BadToken);
    const int badVersion = int(ImageHead::Check::BadVersion);
    QByteArray head = validHead();
    QTest::newRow("built") << head << ok;
    QTest::newRow("slice size is not checked")
        << head.left(8) + hex("00000000") + head.mid(12) << ok;
    QTest::newRow("version 1") << head.left(4) + hex("01000000") + head.mid(8) << badVersion;
    QTest::newRow("version 3") << head.left(4) + hex("03000000") + head.mid(8) << badVersion;
    QTest::newRow("big-endian token") << hex("22156076") + head.mid(4) << badToken;
    QTest::newRow("token looked at first") << hex("00000000"
                                                  "01000000") +
                                                  head.mid(8)
                                           << badToken;
    QTest::newRow("tail token in head") << hex("22510667") + head.mid(4) << badToken;
}

void TestImageFile::headCheck()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, check);
    QCOMPARE(int(ImageHead::decode(bytes.constData()).check()), check);
}

void TestImageFile::checksumHex_data()
{
    QTest::addColumn<quint32>("checksum");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0u << "0";
    QTest::newRow("leading zeros dropped") << 0x0000abcdu << "abcd";
    QTest::newRow("lower case") << 0xDEADBEEFu << "deadbeef";
    QTest::newRow("inner zeros kept") << 0x00f00000u << "f00000";
    QTest::newRow("one digit") << 0x7u << "7";
}

void TestImageFile::checksumHex()
{
    QFETCH(quint32, checksum);
    QFETCH(QString, text);
    QCOMPARE(::checksumHex(checksum), text);
}

void TestImageFile::entryData_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<qint64>("sectors");
    QTest::addColumn<qint64>("dispatched");
    QTest::addColumn<qint64>("loaded");

    QTest::newRow("run") << 1 << qint64(5) << qint64(5) << qint64(5);
    QTest::newRow("empty run") << 1 << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("negative run") << 1 << qint64(-4) << qint64(0) << qint64(0);
    QTest::newRow("type 2 only loaded") << 2 << qint64(5) << qint64(0) << qint64(5);
    QTest::newRow("type 0 only loaded") << 0 << qint64(7) << qint64(0) << qint64(7);
    QTest::newRow("type 2 negative") << 2 << qint64(-1) << qint64(0) << qint64(0);
}

void TestImageFile::entryData()
{
    QFETCH(int, type);
    QFETCH(qint64, sectors);
    QFETCH(qint64, dispatched);
    QFETCH(qint64, loaded);

    SStripInLogDiskMy entry = SStripInLogDiskMy::run(0, sectors);
    entry.tp_cmd = quint8(type);
    QCOMPARE(entry.dispatchSectors(), dispatched);
    QCOMPARE(entry.loadSectors(), loaded);
}

void TestImageFile::blocks_data()
{
    QTest::addColumn<qint64>("sectors");
    QTest::addColumn<QList<int>>("blocks");

    QTest::newRow("one sector") << qint64(1) << QList<int>{1};
    QTest::newRow("2048 is one block") << qint64(2048) << QList<int>{2048};
    QTest::newRow("2049 is two") << qint64(2049) << QList<int>{2048, 1};
    QTest::newRow("5000") << qint64(5000) << QList<int>{2048, 2048, 904};
}

void TestImageFile::blocks()
{
    QFETCH(qint64, sectors);
    QFETCH(QList<int>, blocks);

    QList<int> got;
    for (qint64 left = sectors; left > 0;) {
        const int block = nextBlockSectors(left);
        got << block;
        left -= block;
    }
    QCOMPARE(got, blocks);
}

void TestImageFile::table_data()
{
    using E = SStripInLogDiskMy;
    QTest::addColumn<QList<E>>("entries");
    QTest::addColumn<int>("taken");
    QTest::addColumn<int>("runs");
    QTest::addColumn<qint64>("dispatchBytes");
    QTest::addColumn<qint64>("loadBytes");

    E other = E::run(9, 3);
    other.tp_cmd = 2;
    QTest::newRow("end entry first")
        << QList<E>{E::end(0, 100), E::run(0, 1)} << 1 << 0 << qint64(0) << qint64(0);
    QTest::newRow("runs then end, rest ignored")
        << QList<E>{E::run(0, 2048), E::run(4096, 2049), E::end(9000, 9000), E::run(0, 5)} << 3 << 2
        << qint64(4097 * 512) << qint64(4097 * 512);
    QTest::newRow("other types loaded only")
        << QList<E>{E::run(0, 1), other, E::run(0, -5), E::end(0, 10)} << 4 << 3 << qint64(512)
        << qint64(4 * 512);
    QTest::newRow("absurd counts saturate")
        << QList<E>{E::run(0, 0x7fffffffffffffff), E::run(0, 0x7fffffffffffffff), E::end(0, 1)} << 3
        << 2 << std::numeric_limits<qint64>::max() << std::numeric_limits<qint64>::max();
}

void TestImageFile::table()
{
    using E = SStripInLogDiskMy;
    QFETCH(QList<E>, entries);
    QFETCH(int, taken);
    QFETCH(int, runs);
    QFETCH(qint64, dispatchBytes);
    QFETCH(qint64, loadBytes);

    BriefLogTable table;
    QVERIFY(table.allocate());
    for (const E &entry : entries) {
        if (table.isComplete())
            break;
        table.append(entry);
    }
    QCOMPARE(table.size(), taken);
    QVERIFY(table.hasEnd());
    QCOMPARE(table.runCount(), runs);
    QCOMPARE(table.dispatchDataBytes(), dispatchBytes);
    QCOMPARE(table.loadDataBytes(), loadBytes);
}

void TestImageFile::tableCutAtLogSize()
{
    BriefLogTable table;
    QVERIFY(table.allocate());
    while (!table.isComplete())
        table.append(SStripInLogDiskMy::run(0, 1));
    QCOMPARE(table.size(), LogSize);
    QVERIFY(!table.hasEnd());
    QCOMPARE(table.runCount(), LogSize);
    QCOMPARE(table.loadDataBytes(), qint64(LogSize) * 512);
}

void TestImageFile::streamBytes_data()
{
    QTest::addColumn<quint32>("options");
    QTest::addColumn<int>("entries");
    QTest::addColumn<qint64>("data");
    QTest::addColumn<qint64>("bytes");

    QTest::newRow("end entry first, tail at 425") << 1u << 1 << qint64(0) << qint64(433);
    QTest::newRow("end entry first, no tail") << 0u << 1 << qint64(0) << qint64(425);
    QTest::newRow("other option bits mean nothing") << 6u << 1 << qint64(0) << qint64(425);
    QTest::newRow("firmware of 2 sectors") << 0u << 2 << qint64(1024) << qint64(442 + 1024);
}

void TestImageFile::streamBytes()
{
    QFETCH(quint32, options);
    QFETCH(int, entries);
    QFETCH(qint64, data);
    QFETCH(qint64, bytes);
    QCOMPARE(imageStreamBytes(ImageHead::built(options), entries, data), bytes);
}

void TestImageFile::capacity_data()
{
    using E = SStripInLogDiskMy;
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("capacity");

    const QByteArray head = validHead(ImageHead::OptionFastChecksum);
    const QByteArray end = E::end(0, 123456).encoded();
    QTest::newRow("end entry first") << head + end << qint64(123456);
    QTest::newRow("after runs and data is not read")
        << head + E::run(0, 2).encoded() + end + QByteArray(1024, 'x') << qint64(123456);
    QTest::newRow("negative capacity passed on") << head + E::end(0, -7).encoded() << qint64(-7);
    QTest::newRow("capacity 0") << head + E::end(0, 0).encoded() << qint64(0);
    QTest::newRow("empty file") << QByteArray() << qint64(0);
    QTest::newRow("short head") << head.left(407) << qint64(0);
    QTest::newRow("head only") << head << qint64(0);
    QTest::newRow("version 1") << head.left(4) + hex("01000000") + head.mid(8) + end << qint64(0);
    QTest::newRow("wrong token") << QByteArray(4, '\0') + head.mid(4) + end << qint64(0);
    QTest::newRow("no end entry") << head + E::run(0, 1).encoded() + E::run(1, 1).encoded()
                                  << qint64(0);
    QTest::newRow("end entry cut short") << head + end.left(16) << qint64(0);
}

void TestImageFile::capacity()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, capacity);

    const QString name = QStringLiteral("capacity.img");
    QCOMPARE(writeFile(name, file), file);
    QCOMPARE(imageCapacity(name), capacity);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(imageCapacity(buffer), capacity);
}

void TestImageFile::capacityScanIsNotBoundByLogSize()
{
    QByteArray file = validHead();
    const QByteArray run = SStripInLogDiskMy::run(0, 1).encoded();
    for (int i = 0; i < LogSize + 1000; ++i)
        file += run;
    file += SStripInLogDiskMy::end(0, 77).encoded();
    QCOMPARE(writeFile(QStringLiteral("long.img"), file), file);
    QCOMPARE(imageCapacity(QStringLiteral("long.img")), qint64(77));
}

void TestImageFile::capacityOfMissingFile()
{
    QCOMPARE(imageCapacity(QStringLiteral("no-such-file.img")), qint64(0));
}

TARN_TEST_MAIN(TestImageFile)
#include "tst_imagefile.moc"
