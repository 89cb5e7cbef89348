#include <QtTest>
#include <QtWidgets>

#include "app/translation.h"
#include "testkit/testenv.h"

namespace {
// The folders whose sources hold operator-visible texts.
const QStringList SourceFolders = {"app", "server", "client", "image", "transfer", "ui"};
constexpr int LupdateTimeoutMs = 60000;
} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    // Every text of the sources must have a finished translation in both catalogues, with the same
    // placeholders. Checked on copies brought up to date with the sources.
    void everyTextIsTranslated()
    {
        QTemporaryDir copies;
        const QDir source(QStringLiteral(TARN_SOURCE_DIR));
        QStringList arguments = {"-no-obsolete", "-locations", "none", "-I", source.path()};
        for (const QString &folder : SourceFolders)
            arguments << source.filePath(folder);
        arguments << "-ts" << copies.filePath("sc.ts") << copies.filePath("tc.ts");
        for (const char *name : {"sc.ts", "tc.ts"}) {
            QVERIFY(QFile::copy(source.filePath("resources/translations/") + name,
                                copies.filePath(name)));
            QFile::setPermissions(copies.filePath(name), QFile::ReadOwner | QFile::WriteOwner);
        }
        QProcess lupdate;
        lupdate.setProcessChannelMode(QProcess::MergedChannels);
        lupdate.start(QStringLiteral(TARN_LUPDATE), arguments);
        QVERIFY2(lupdate.waitForFinished(LupdateTimeoutMs), qPrintable(lupdate.errorString()));
        QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
                 lupdate.readAll().constData());

        const auto placeholders = [](const QString &text) {
            QStringList found;
            for (auto it = QRegularExpression("%L?\\d+").globalMatch(text); it.hasNext();)
                found << it.next().captured();
            found.sort();
            return found;
        };
        static const QRegularExpression message(
            "<source>(.*?)</source>.*?<translation([^>]*)>(.*?)</translation>",
            QRegularExpression::DotMatchesEverythingOption);
        for (const char *name : {"sc.ts", "tc.ts"}) {
            QFile file(copies.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QStringList faults;
            int messages = 0;
            for (auto it = message.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
                const QRegularExpressionMatch text = it.next();
                ++messages;
                if (!text.captured(2).isEmpty() || text.captured(3).isEmpty()) // type="unfinished"
                    faults << "untranslated: " + text.captured(1);
                else if (placeholders(text.captured(1)) != placeholders(text.captured(3)))
                    faults << "placeholders: " + text.captured(1);
            }
            QVERIFY2(messages > 0 && faults.isEmpty(),
                     qPrintable(name + (":\n" + faults.join('\n'))));
        }
    }
    void installsLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("shown"); // COPY, Setup, Device Select; the codec
        // English first, while no language is installed yet.
        QTest::newRow("English") << 0
                                 << QStringList{"COPY", "Setup", "Device Select", "ISO-8859-1"};
        QTest::newRow("Simplified") << 1 << QStringList{"复制", "设置", "选择设备", "UTF-8"};
        QTest::newRow("Traditional") << 2 << QStringList{"複製", "設定", "選擇裝置", "UTF-8"};
    }
    void installsLanguage()
    {
        QFETCH(int, language);
        QFETCH(QStringList, shown);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        const QString fontBefore = QApplication::font().family();
        installLanguage(language);
        QCOMPARE(QStringList({QCoreApplication::translate("MainWindow", "COPY"),
                              QCoreApplication::translate("SetupDialog", "Setup"),
                              QCoreApplication::translate("devicedialog", "Device Select"),
                              QTextCodec::codecForLocale()->name()}),
                 shown);
        QCOMPARE(QApplication::font().family(), language ? QStringLiteral("UTF-8") : fontBefore);
    }
};

TARN_TEST_MAIN(TestTranslation)
#include "tst_translation.moc"
