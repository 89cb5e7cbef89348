#include <QtTest>

#include "image/brieflogtable.h"
#include "image/imagefile.h"
#include "image/sidecar.h"
#include "image/stripinlogdisk.h"
#include "testkit/imagebuilder.h"
#include "testkit/testenv.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using E = SStripInLogDiskMy;

Q_DECLARE_METATYPE(SStripInLogDiskMy)

namespace {
const auto unhex = QByteArray::fromHex;

// The exit status (-1: crashed or hung) and what was printed.
std::pair<int, QByteArray> tarnImg(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(TARN_IMG_BIN), arguments);
    const bool ended = tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit;
    return {ended ? tool.exitCode() : -1, tool.readAllStandardOutput()};
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class TestImageFile : public QObject
{
    Q_OBJECT

private slots:
    void records_data();
    void records();
    void table_data();
    void table();
    void capacity_data();
    void capacity();
    void tarnImgVerify_data();
    void tarnImgVerify();
};

void TestImageFile::records_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("bytes");

    ImageHead head = ImageHead::built(ImageHead::OptionFastChecksum);
    head.ulDevCap = Q_UINT64_C(0x0102030405060708);
    ImageTail tail;
    tail.token = ImageTail::Token;
    tail.checksum = 0xa1b2c3d4;

    QTest::newRow("head") << head.encoded().left(24)
                          << unhex("76601522 02000000 ff070000 01000000 0807060504030201");
    QTest::newRow("run") << E::run(0x0102, 2049).encoded()
                         << unhex("01 0201000000000000 0108000000000000");
    QTest::newRow("end") << E::end(0, 0x7fffffffffffffff).encoded()
                         << unhex("03 0000000000000000 ffffffffffffff7f");
    QTest::newRow("tail") << tail.encoded() << unhex("22510667 d4c3b2a1");
}

// Encoding gives the bytes on disk; decoding them, with more behind or not, gives the same record
// back; a record one byte short is not decoded.
void TestImageFile::records()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encoded, bytes);
    if (bytes.size() != ImageHead::Size && bytes.size() != E::Size &&
        bytes.size() != ImageTail::Size)
        return;
    const auto back = [size = bytes.size()](const QByteArray &in) {
        ImageHead head;
        E entry;
        ImageTail tail;
        if (size == ImageHead::Size)
            return ImageHead::decode(in, head) ? head.encoded() : QByteArray();
        if (size == E::Size)
            return E::decode(in, entry) ? entry.encoded() : QByteArray();
        return ImageTail::decode(in, tail) && tail.isTokenValid() ? tail.encoded() : QByteArray();
    };
    QCOMPARE(back(bytes), bytes);
    QCOMPARE(back(bytes + "xyz"), bytes);
    QCOMPARE(back(bytes.left(bytes.size() - 1)), QByteArray());
}

void TestImageFile::table_data()
{
    QTest::addColumn<QList<E>>("entries");
    QTest::addColumn<int>("taken");
    QTest::addColumn<bool>("hasEnd");
    QTest::addColumn<int>("runs");
    QTest::addColumn<qint64>("dispatchBytes");
    QTest::addColumn<qint64>("loadBytes");

    E other = E::run(9, 3);
    other.tp_cmd = 2;
    E otherNegative = E::run(9, -1);
    otherNegative.tp_cmd = 2;
    const qint64 max = std::numeric_limits<qint64>::max();
    QTest::newRow("end entry first")
        << QList<E>{E::end(0, 100), E::run(0, 1)} << 1 << true << 0 << qint64(0) << qint64(0);
    QTest::newRow("runs then end, rest ignored")
        << QList<E>{E::run(0, 2048), E::run(4096, 2049), E::end(9000, 9000), E::run(0, 5)} << 3
        << true << 2 << qint64(4097 * 512) << qint64(4097 * 512);
    QTest::newRow("other types loaded only, negative counts move nothing")
        << QList<E>{E::run(0, 1), other, E::run(0, -5), otherNegative, E::end(0, 10)} << 5 << true
        << 4 << qint64(512) << qint64(4 * 512);
    QTest::newRow("absurd counts saturate")
        << QList<E>{E::run(0, max), E::run(0, max), E::end(0, 1)} << 3 << true << 2 << max << max;
    QTest::newRow("cut at LogSize without end")
        << QVector<E>(LogSize + 5, E::run(0, 1)).toList() << LogSize << false << LogSize
        << qint64(LogSize) * 512 << qint64(LogSize) * 512;
}

void TestImageFile::table()
{
    QFETCH(QList<E>, entries);
    QFETCH(int, taken);
    QFETCH(bool, hasEnd);
    QFETCH(int, runs);
    QFETCH(qint64, dispatchBytes);
    QFETCH(qint64, loadBytes);

    BriefLogTable table;
    QVERIFY(table.allocate());
    for (int i = 0; i < entries.size() && !table.isComplete(); ++i)
        table.append(entries.at(i));
    QCOMPARE(table.size(), taken);
    QCOMPARE(table.hasEnd(), hasEnd);
    QCOMPARE(table.runCount(), runs);
    QCOMPARE(table.dispatchDataBytes(), dispatchBytes);
    QCOMPARE(table.loadDataBytes(), loadBytes);
    // A tail only when its option bit says so; other bits mean nothing.
    if (dispatchBytes < std::numeric_limits<qint64>::max()) {
        const qint64 stream = ImageHead::Size + qint64(taken) * E::Size + dispatchBytes;
        QCOMPARE(imageStreamBytes(ImageHead::built(6), taken, dispatchBytes), stream);
        QCOMPARE(imageStreamBytes(ImageHead::built(7), taken, dispatchBytes),
                 stream + ImageTail::Size);
    }
}

void TestImageFile::capacity_data()
{
    QTest::addColumn<QByteArray>("file"); // a null array: no file at all
    QTest::addColumn<qint64>("capacity");

    const QByteArray head = ImageHead::built(ImageHead::OptionFastChecksum).encoded();
    const QByteArray end = E::end(0, 123456).encoded();
    // LogSize - 1 runs: the end entry may come last in a full table, and no later.
    const QByteArray runs = head + E::run(0, 1).encoded().repeated(LogSize - 1);
    QTest::newRow("end entry first") << head + end << qint64(123456);
    QTest::newRow("slice size is not checked, data not read")
        << head.left(8) + unhex("00000000") + head.mid(12) + E::run(0, 2).encoded() + end +
               QByteArray(1024, 'x')
        << qint64(123456);
    QTest::newRow("end entry at LogSize") << runs + end << qint64(123456);
    QTest::newRow("end entry past LogSize") << runs + E::run(0, 1).encoded() + end << qint64(0);
    QTest::newRow("negative capacity passed on") << head + E::end(0, -7).encoded() << qint64(-7);
    QTest::newRow("missing file") << QByteArray() << qint64(0);
    QTest::newRow("short head") << head.left(407) << qint64(0);
    QTest::newRow("version 1") << head.left(4) + unhex("01000000") + head.mid(8) + end << qint64(0);
    QTest::newRow("big-endian token") << unhex("22156076") + head.mid(4) + end << qint64(0);
    QTest::newRow("no end entry") << head + E::run(0, 1).encoded() + E::run(1, 1).encoded()
                                  << qint64(0);
    QTest::newRow("end entry cut short") << head + end.left(16) << qint64(0);
}

void TestImageFile::capacity()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, capacity);

    const QString name = QStringLiteral("capacity.img");
    QFile::remove(name);
    QVERIFY(file.isNull() || put(name, file));
    QCOMPARE(imageCapacity(name), capacity);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(imageCapacity(buffer), capacity);
}

void TestImageFile::tarnImgVerify_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("sidecar"); // null: none
    QTest::addColumn<QString>("fault");      // empty: good

    ImageBuilder image;
    image.options = ImageHead::OptionFastChecksum;
    image.checksum = 0xbeef;
    image.entries = {E::run(0, 3), E::run(8, 0), E::run(9, 2049), E::end(0, 9999)};
    const QByteArray good = image.build(ImageBuilder::Rule::Load);
    const QByteArray digest = QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex();
    const QByteArray sidecar = Sidecar::line(digest, QStringLiteral("t.img"));
    const int tableEnd = ImageHead::Size + 4 * E::Size;
    const int tailAt = good.size() - ImageTail::Size;
    const auto row = [](const char *name, const QByteArray &file, const QString &fault,
                        const QByteArray &side = QByteArray()) {
        QTest::newRow(name) << file << side << fault;
    };
    QByteArray changed = good;
    changed[tailAt - 1] = char(changed[tailAt - 1] ^ 0x80);
    QByteArray badTail = good;
    badTail[tailAt] = char(badTail[tailAt] ^ 1);
    const int entry1 = ImageHead::Size + E::Size;
    ImageBuilder older = image;
    older.version = 1;
    row("good with its sidecar", good, "", sidecar);
    row("good without a sidecar", good, "");
    row("good, sidecar in upper case as binary", good, "", digest.toUpper() + " *t.img\n");
    row("good, sidecar naming a path to it", good, "", Sidecar::line(digest, "/images/t.img"));
    row("short head", good.left(ImageHead::Size - 1), "short-head");
    row("wrong token", char(~good.at(0)) + good.mid(1), "wrong-token");
    row("wrong version", older.build(ImageBuilder::Rule::Load), "wrong-version");
    row("table cut before its end entry", good.left(tableEnd - 1), "no-end-entry");
    row("negative run length",
        good.left(entry1) + E::run(8, -1).encoded() + good.mid(entry1 + E::Size),
        "negative-run-length");
    row("truncated data", good.left(tailAt - 1), "truncated-data");
    row("missing tail", good.left(tailAt), "missing-tail");
    row("wrong tail", badTail, "wrong-tail");
    row("trailing bytes", good + "x", "trailing-bytes");
    row("changed since its sidecar", changed, "sha256-mismatch", sidecar);
    row("sidecar of another file", good, "unreadable-sidecar", Sidecar::line(digest, "u.img"));
}

// tarn-img verify as a script uses it: exit status and the first fault by name.
void TestImageFile::tarnImgVerify()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, sidecar);
    QFETCH(QString, fault);

    const QString name = QStringLiteral("t.img");
    QFile::remove(Sidecar::pathFor(name));
    QVERIFY(put(name, file) && (sidecar.isNull() || put(Sidecar::pathFor(name), sidecar)));

    const auto verify = tarnImg({"verify", "--json", name});
    QCOMPARE(verify.first, fault.isEmpty() ? 0 : 1);
    const QJsonObject report = QJsonDocument::fromJson(verify.second).array().at(0).toObject();
    QCOMPARE(report.value("fault").toObject().value("kind").toString(), fault);
    // info counts the table only behind a head it can read.
    const QStringList headFaults{"short-head", "wrong-token", "wrong-version"};
    const auto info = tarnImg({"info", "--json", name});
    QCOMPARE(QJsonDocument::fromJson(info.second).array().at(0).toObject().contains("entries"),
             !headFaults.contains(fault));
    const auto line = tarnImg({"verify", name});
    QCOMPARE(line.first, verify.first);
    QVERIFY2(line.second.startsWith((fault.isEmpty() ? "t.img: OK" : "t.img: FAULT: ")) &&
                 line.second.count('\n') == 1,
             line.second.constData());
}

TARN_TEST_MAIN(TestImageFile)
#include "tst_imagefile.moc"
