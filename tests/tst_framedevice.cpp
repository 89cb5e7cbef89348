#include <QtTest>

#include <QLayout>
#include <QListWidget>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextTable>

#include "client/framedevice.h"
#include "client/logpage.h"
#include "testkit/testenv.h"

class TestFrameDevice : public QObject
{
    Q_OBJECT

private slots:
    void formHasPagesInOrder();
    void statusTemplateIsFilledOnce();
    void statusValues_data();
    void statusValues();
    void logAndSettingsArePlainText();
    void pagesKeepNewestLines_data();
    void pagesKeepNewestLines();
    void fileList_data();
    void fileList();
};

void TestFrameDevice::formHasPagesInOrder()
{
    FrameDevice frame;
    auto *tabs = frame.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->currentIndex(), 1);
    QStringList labels, contents;
    for (int i = 0; i < tabs->count(); ++i) {
        labels << tabs->tabText(i);
        contents << tabs->widget(i)->layout()->itemAt(0)->widget()->objectName();
    }
    QCOMPARE(labels, (QStringList{"Status", "Settings", "Log", "Files in source media"}));
    QCOMPARE(contents, (QStringList{"textBrowserStatus", "textBrowserSettings", "textBrowserLog",
                                    "listWidget"}));
    QCOMPARE(frame.getLogBrowser(), frame.findChild<QTextBrowser *>("textBrowserLog"));
}

void TestFrameDevice::statusTemplateIsFilledOnce()
{
    FrameDevice frame;
    auto *status = frame.findChild<QTextBrowser *>("textBrowserStatus");
    for (const char *placeholder : {"$machineName", "$modelName", "$vendorName", "$programVersion"})
        QVERIFY2(status->toHtml().contains(placeholder), placeholder);
    QTextTable *table = status->document()->find("Machine Name").currentTable();
    QVERIFY(table);
    QCOMPARE(table->rows(), 4);
    QCOMPARE(table->columns(), 2);

    QString first = "M1\nK31\nBlueMarshLynx\n2.0.1\n8\nSATA1:\nend";
    frame.updateStatus(first);
    const QString filled = status->toHtml();
    QString second = "M2\nZ9\nOther\n9.9";
    frame.updateStatus(second);
    QCOMPARE(status->toHtml(), filled);
    QVERIFY(!status->toPlainText().contains("SATA1"));
}

void TestFrameDevice::statusValues_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("identity") << "M1\nK31\nBlueMarshLynx\n2.0.1"
                              << QStringList{"Machine Name",    "M1",
                                             "ModelName",       "K31",
                                             "Vendor Name",     "BlueMarshLynx",
                                             "Program Version", "2.0.1"};
    // Values are text: no markup, and a value naming a placeholder is not substituted.
    QTest::newRow("markup") << "A<B>\n<b>bold</b>\nx & y\n$modelName"
                            << QStringList{"A<B>", "<b>bold</b>", "x & y", "$modelName"};
    QTest::newRow("missing lines") << "Solo" << QStringList{"Solo", "Program Version"};
}

void TestFrameDevice::statusValues()
{
    QFETCH(QString, lines);
    QFETCH(QStringList, shown);
    FrameDevice frame;
    frame.updateStatus(lines);
    const QString text = frame.findChild<QTextBrowser *>("textBrowserStatus")->toPlainText();
    for (const QString &value : shown)
        QVERIFY2(text.contains(value), qPrintable(value));
    QCOMPARE(text.count('$'), lines.count('$'));
}

void TestFrameDevice::logAndSettingsArePlainText()
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

    auto *settings = frame.findChild<QTextBrowser *>("textBrowserSettings");
    for (QString line : {"source=SATA2\n", "speed=<max>\n"})
        frame.addSettings(line);
    QCOMPARE(settings->toPlainText(), QStringLiteral("source=SATA2\nspeed=<max>\n"));
    frame.clearSettings();
    QCOMPARE(settings->toPlainText(), QString());
}

void TestFrameDevice::pagesKeepNewestLines_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("leftOut"); // counted in the note at the top; 0: no note
    const int limit = LogPage::MachineLimits.lines;
    QTest::newRow("at the line limit") << limit << 8 << 0;
    QTest::newRow("over it: a tenth more leaves") << limit + 1 << 8 << limit / 10 + 1;
    // 300 paragraphs of 8,001 characters: down to 90 % of 2 Mi characters.
    QTest::newRow("over the text limit") << 300 << 8000 << 65;
}

void TestFrameDevice::pagesKeepNewestLines()
{
    QFETCH(int, lines);
    QFETCH(int, length);
    QFETCH(int, leftOut);
    FrameDevice frame;
    auto *settings = frame.findChild<QTextBrowser *>("textBrowserSettings");
    // Twice: a cleared page counts again from nothing.
    for (int pass = 0; pass < 2; ++pass) {
        frame.clearLog();
        frame.clearSettings();
        for (int i = 0; i < lines; ++i) {
            QString line = QString::number(i).leftJustified(length, '.');
            frame.log(line);
            frame.addSettings(line += '\n');
        }
        QCoreApplication::processEvents();
    }
    const QString last = QString::number(lines - 1).leftJustified(length, '.');
    const QString noted = QStringLiteral("Earlier lines left out: ");
    const QStringList shown = frame.getLogBrowser()->toPlainText().split('\n');
    QCOMPARE(shown.size(), lines - leftOut + (leftOut ? 1 : 0));
    QCOMPARE(shown.last(), last);
    QCOMPARE(shown.first(), leftOut ? noted + QString::number(leftOut)
                                    : QStringLiteral("0").leftJustified(length, '.'));
    // The settings page's last line feed makes it one line longer.
    QCOMPARE(settings->toPlainText().startsWith(noted),
             leftOut > 0 || lines == LogPage::MachineLimits.lines);
    QVERIFY(settings->toPlainText().endsWith(last + '\n'));
}

void TestFrameDevice::fileList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("two names") << "a.img|b.img" << QStringList{"a.img", "b.img"};
    QTest::newRow("empty text") << "" << QStringList{""};
    QTest::newRow("trailing separator") << "a.img|" << QStringList{"a.img", ""};
}

void TestFrameDevice::fileList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    FrameDevice frame;
    QString previous = "old.img|older.img|oldest.img";
    frame.reflashFiles(previous);
    frame.reflashFiles(text);
    auto *list = frame.findChild<QListWidget *>("listWidget");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    QCOMPARE(texts, items);
}

TARN_TEST_MAIN(TestFrameDevice)
#include "tst_framedevice.moc"
