#include <QtTest>

#include <QListWidget>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextTable>
#include <QVBoxLayout>

#include "client/framedevice.h"
#include "testkit/testenv.h"

class TestFrameDevice : public QObject
{
    Q_OBJECT

private slots:
    void formHasPagesInOrder();
    void statusTemplateIsFilledOnce();
    void statusValuesAreText();
    void statusWithMissingLines();
    void logAppendsPlainParagraphs();
    void settingsAreInsertedAndCleared();
    void fileList_data();
    void fileList();

private:
    static QStringList fileItems(FrameDevice &frame);
};

void TestFrameDevice::formHasPagesInOrder()
{
    FrameDevice frame;
    QCOMPARE(frame.objectName(), QStringLiteral("FrameDevice"));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Frame"));
    QCOMPARE(frame.size(), QSize(497, 318));
    QCOMPARE(frame.layout(), frame.findChild<QVBoxLayout *>("verticalLayout"));

    auto *tabs = frame.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->currentIndex(), 1);
    const QStringList pages{"tab", "tab_2", "tabLog", "tabFiles"};
    const QStringList labels{"Status", "Settings", "Log", "Files in source media"};
    const QStringList layouts{"horizontalLayout", "verticalLayout_3", "verticalLayout_2",
                              "verticalLayout_4"};
    const QStringList contents{"textBrowserStatus", "textBrowserSettings", "textBrowserLog",
                               "listWidget"};
    for (int i = 0; i < tabs->count(); ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), pages.at(i));
        QCOMPARE(tabs->tabText(i), labels.at(i));
        QCOMPARE(tabs->widget(i)->layout()->objectName(), layouts.at(i));
        QCOMPARE(tabs->widget(i)->layout()->itemAt(0)->widget()->objectName(), contents.at(i));
    }
    auto *status = frame.findChild<QTextBrowser *>("textBrowserStatus");
    QCOMPARE(status->frameShape(), QFrame::NoFrame);
    QCOMPARE(frame.getLogBrowser(), frame.findChild<QTextBrowser *>("textBrowserLog"));
    QVERIFY(frame.findChild<QListWidget *>("listWidget"));
}

void TestFrameDevice::statusTemplateIsFilledOnce()
{
    FrameDevice frame;
    auto *status = frame.findChild<QTextBrowser *>("textBrowserStatus");
    const QString before = status->toHtml();
    for (const char *placeholder : {"$machineName", "$modelName", "$vendorName", "$programVersion"})
        QVERIFY2(before.contains(placeholder), placeholder);
    QTextCursor label = status->document()->find("Machine Name");
    QVERIFY(!label.isNull());
    QCOMPARE(label.charFormat().fontFamily(), QStringLiteral("Ubuntu"));
    QCOMPARE(label.charFormat().fontPointSize(), 10.0);
    QTextTable *table = label.currentTable();
    QVERIFY(table);
    QCOMPARE(table->rows(), 4);
    QCOMPARE(table->columns(), 2);
    QCOMPARE(table->format().border(), 1.0);
    QCOMPARE(table->format().cellSpacing(), 2.0);
    QCOMPARE(table->format().cellPadding(), 0.0);
    QCOMPARE(table->format().width(), QTextLength(QTextLength::PercentageLength, 100));

    QString first = "M1\nK31\nBlueMarshLynx\n2.0.1\n8\nSATA1:\nend";
    frame.updateStatus(first);
    const QString text = status->toPlainText();
    for (const char *value : {"Machine Name", "M1", "ModelName", "K31", "Vendor Name",
                              "BlueMarshLynx", "Program Version", "2.0.1"})
        QVERIFY2(text.contains(value), value);
    QVERIFY(!text.contains('$'));
    QVERIFY(!text.contains("SATA1"));

    QString second = "M2\nZ9\nOther\n9.9";
    const QString filled = status->toHtml();
    frame.updateStatus(second);
    QCOMPARE(status->toHtml(), filled);
}

void TestFrameDevice::statusValuesAreText()
{
    FrameDevice frame;
    auto *status = frame.findChild<QTextBrowser *>("textBrowserStatus");
    QString values = "A<B>\n<b>bold</b>\nx & y\n$modelName";
    frame.updateStatus(values);
    const QString text = status->toPlainText();
    QVERIFY(text.contains("A<B>"));
    QVERIFY(text.contains("<b>bold</b>"));
    QVERIFY(text.contains("x & y"));
    // A value naming a placeholder is shown as sent, not substituted.
    QVERIFY(text.contains("$modelName"));
}

void TestFrameDevice::statusWithMissingLines()
{
    FrameDevice frame;
    auto *status = frame.findChild<QTextBrowser *>("textBrowserStatus");
    QString onlyName = "Solo";
    frame.updateStatus(onlyName);
    const QString text = status->toPlainText();
    QVERIFY(text.contains("Solo"));
    QVERIFY(!text.contains('$'));
    QVERIFY(text.contains("Program Version"));
}

void TestFrameDevice::logAppendsPlainParagraphs()
{
    FrameDevice frame;
    QString first = "#device 1 ok";
    QString markup = "<b>not bold</b>";
    QString ended = "Start COPY\n";
    QString last = "after";
    frame.log(first);
    frame.log(markup);
    frame.log(ended);
    frame.log(last);
    QCOMPARE(frame.getLogBrowser()->toPlainText(),
             QStringLiteral("#device 1 ok\n<b>not bold</b>\nStart COPY\n\nafter"));
}

void TestFrameDevice::settingsAreInsertedAndCleared()
{
    FrameDevice frame;
    auto *settings = frame.findChild<QTextBrowser *>("textBrowserSettings");
    QString a = "source=SATA2\n";
    QString b = "speed=<max>\n";
    frame.addSettings(a);
    frame.addSettings(b);
    QCOMPARE(settings->toPlainText(), QStringLiteral("source=SATA2\nspeed=<max>\n"));
    frame.clearSettings();
    QCOMPARE(settings->toPlainText(), QString());
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
    QCOMPARE(fileItems(frame), items);
}

QStringList TestFrameDevice::fileItems(FrameDevice &frame)
{
    auto *list = frame.findChild<QListWidget *>("listWidget");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

TARN_TEST_MAIN(TestFrameDevice)
#include "tst_framedevice.moc"
