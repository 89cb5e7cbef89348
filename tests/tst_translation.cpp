#include <QApplication>
#include <QSettings>
#include <QTextCodec>
#include <QTranslator>
#include <QtTest>

#include "app/para.h"
#include "app/translation.h"
#include "testkit/testenv.h"

namespace {
void storeLanguage(int translate)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
    store.clear();
    store.setValue("appVersionNumer", 3);
    store.setValue("Translate", translate);
    store.sync();
}
} // namespace

// Start-up installs the language once per process, so the cases run in this order: English
// first, while nothing is installed yet, then Traditional Chinese.
class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void cataloguesAreCompiledIn_data();
    void cataloguesAreCompiledIn();
    void englishInstallsNothing();
    void traditionalChineseInstallsCatalogueAndCodec();
};

void TestTranslation::cataloguesAreCompiledIn_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::newRow("sc window") << "sc.qm"
                               << "MainWindow"
                               << "COPY" << QString::fromUtf8("复制");
    QTest::newRow("tc window") << "tc.qm"
                               << "MainWindow"
                               << "COPY" << QString::fromUtf8("複製");
    QTest::newRow("sc setup") << "sc.qm"
                              << "SetupDialog"
                              << "Setup" << QString::fromUtf8("设置");
    QTest::newRow("tc setup") << "tc.qm"
                              << "SetupDialog"
                              << "Setup" << QString::fromUtf8("設定");
    QTest::newRow("sc dialog") << "sc.qm"
                               << "devicedialog"
                               << "Device Select" << QString::fromUtf8("选择设备");
    QTest::newRow("tc dialog") << "tc.qm"
                               << "devicedialog"
                               << "Device Select" << QString::fromUtf8("選擇裝置");
}

void TestTranslation::cataloguesAreCompiledIn()
{
    QFETCH(QString, catalogue);
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QTranslator translator;
    QVERIFY(translator.load(catalogue, ":translations"));
    QCOMPARE(translator.translate(context.toLatin1(), source.toLatin1()), translation);
}

void TestTranslation::englishInstallsNothing()
{
    QTextCodec *latin1 = QTextCodec::codecForName("ISO-8859-1");
    QVERIFY(latin1);
    QTextCodec::setCodecForLocale(latin1);
    const QFont fontBefore = QApplication::font();

    storeLanguage(0);
    para.restore();
    QCOMPARE(para.translate, 0);
    installLanguage(para.translate);

    QCOMPARE(QCoreApplication::translate("MainWindow", "COPY"), QStringLiteral("COPY"));
    QCOMPARE(QCoreApplication::translate("SetupDialog", "Setup"), QStringLiteral("Setup"));
    QCOMPARE(QApplication::font(), fontBefore);
    QCOMPARE(QTextCodec::codecForLocale(), latin1);
}

void TestTranslation::traditionalChineseInstallsCatalogueAndCodec()
{
    storeLanguage(2);
    para.restore();
    QCOMPARE(para.translate, 2);
    installLanguage(para.translate);

    QCOMPARE(QCoreApplication::translate("MainWindow", "COPY"), QString::fromUtf8("複製"));
    QCOMPARE(QCoreApplication::translate("SetupDialog", "Setup"), QString::fromUtf8("設定"));
    QCOMPARE(QCoreApplication::translate("devicedialog", "Device Select"),
             QString::fromUtf8("選擇裝置"));
    QCOMPARE(QApplication::font().family(), QStringLiteral("UTF-8"));
    QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
    // Local 8-bit conversions now run through UTF-8.
    const QString name = QString::fromUtf8("機台一");
    QCOMPARE(QString::fromLocal8Bit(name.toUtf8()), name);
}

TARN_TEST_MAIN(TestTranslation)
#include "tst_translation.moc"
