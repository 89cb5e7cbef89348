#include <QSettings>
#include <QtTest>

#include "app/para.h"
#include "testkit/testenv.h"

namespace {
QVariantMap defaults()
{
    return {{"appVersionNumer", 3},
            {"Translate", 0},
            {"TCP Port", 53275},
            {"UDP Port", 9000},
            {"Multicast Address", "224.0.0.1"},
            {"TTL", 1},
            {"Save Log", true},
            {"Full Duplex", true},
            {"Use Broadcast port", false},
            {"No Point to Point", false},
            {"Block Size", "Use Default"},
            {"Slice", 15}};
}

// A valid store whose every value differs from the default.
QVariantMap custom()
{
    return {{"appVersionNumer", 3},
            {"Translate", 2},
            {"TCP Port", 40001},
            {"UDP Port", 9100},
            {"Multicast Address", "239.1.2.3"},
            {"TTL", 7},
            {"Save Log", false},
            {"Full Duplex", false},
            {"Use Broadcast port", true},
            {"No Point to Point", true},
            {"Block Size", "512"},
            {"Slice", 200}};
}

QSettings *openStore()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
}

void writeStore(const QVariantMap &values)
{
    QScopedPointer<QSettings> store(openStore());
    store->clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
    store->sync();
}

// The store as the record's types read it, so "true" and true compare equal.
QVariantMap readStore()
{
    QScopedPointer<QSettings> store(openStore());
    QVariantMap map;
    for (const QString &key : store->allKeys()) {
        const QVariant expected = defaults().value(key);
        QVariant value = store->value(key);
        if (expected.isValid())
            value.convert(expected.userType());
        map.insert(key, value);
    }
    return map;
}

QVariantMap record(const Para &p)
{
    return {{"appVersionNumer", p.appVersionNumer},
            {"Translate", p.translate},
            {"TCP Port", p.tcpport},
            {"UDP Port", p.udpport},
            {"Multicast Address", p.mlticastaddress},
            {"TTL", p.ttl},
            {"Save Log", p.savelog},
            {"Full Duplex", p.fullduplex},
            {"Use Broadcast port", p.usebrodcasetport},
            {"No Point to Point", p.nopointtppoint},
            {"Block Size", p.blocksize},
            {"Slice", p.slice}};
}
} // namespace

class TestPara : public QObject
{
    Q_OBJECT

private slots:
    void init() { para = Para(); }
    void emptyStoreIsFilledWithDefaults();
    void invalidVersionOrLanguageResetsEverything_data();
    void invalidVersionOrLanguageResetsEverything();
    void missingKeyReadsAsZeroWithoutReset();
    void validStoreSurvivesAndSaveWritesItBack();
    void saveDefaultsResetsRecordAndStore();
};

void TestPara::emptyStoreIsFilledWithDefaults()
{
    writeStore({});
    para.restore();
    QCOMPARE(record(para), defaults());
    QScopedPointer<QSettings> store(openStore());
    QStringList keys = store->allKeys();
    keys.sort();
    QCOMPARE(keys, defaults().keys());
    QCOMPARE(readStore(), defaults());
    // The native store of this platform is the per-user file under the configuration home.
    QCOMPARE(QFileInfo(store->fileName()).fileName(), QStringLiteral("TARN.conf"));
    QVERIFY(store->fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
}

void TestPara::invalidVersionOrLanguageResetsEverything_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("version 2") << "appVersionNumer" << QVariant(2);
    QTest::newRow("version 4") << "appVersionNumer" << QVariant(4);
    QTest::newRow("version text") << "appVersionNumer" << QVariant("three");
    QTest::newRow("translate 3") << "Translate" << QVariant(3);
    QTest::newRow("translate -1") << "Translate" << QVariant(-1);
}

void TestPara::invalidVersionOrLanguageResetsEverything()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QVariantMap stored = custom();
    stored.insert(key, value);
    writeStore(stored);
    para.restore();
    QCOMPARE(record(para), defaults());
    QCOMPARE(readStore(), defaults());
}

void TestPara::missingKeyReadsAsZeroWithoutReset()
{
    QVariantMap stored = custom();
    stored.insert("Translate", 1);
    for (const char *key : {"TCP Port", "Block Size", "Save Log"})
        stored.remove(key);
    writeStore(stored);
    para.restore();
    QVariantMap expected = stored;
    expected.insert("TCP Port", 0);
    expected.insert("Block Size", QString());
    expected.insert("Save Log", false);
    QCOMPARE(record(para), expected);
    QCOMPARE(readStore(), stored); // nothing was rewritten
}

// Every value differs from its default: restore keeps them all, and save writes every key back
// from the record.
void TestPara::validStoreSurvivesAndSaveWritesItBack()
{
    writeStore(custom());
    para.restore();
    QCOMPARE(record(para), custom());
    QCOMPARE(readStore(), custom());
    writeStore({});
    para.save();
    QCOMPARE(readStore(), custom());
}

void TestPara::saveDefaultsResetsRecordAndStore()
{
    writeStore(custom());
    para.restore();
    para.save(Para::paraDefault);
    QCOMPARE(record(para), defaults());
    QCOMPARE(readStore(), defaults());
}

TARN_TEST_MAIN(TestPara)
#include "tst_para.moc"
