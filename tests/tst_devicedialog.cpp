#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>

#include "testkit/modalanswerer.h"
#include "testkit/testenv.h"
#include "ui/devicedialog.h"

namespace {
QListView *listOf(QWidget *dialog)
{
    return dialog->findChild<QListView *>("listView");
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>("buttonBox")->button(which);
}

// Makes `row` the current entry (focus frame only, nothing selected) and presses OK.
std::function<void(QWidget *)> okOnRow(int row)
{
    return [row](QWidget *dialog) {
        QListView *list = listOf(dialog);
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                QItemSelectionModel::Clear);
        button(dialog, QDialogButtonBox::Ok)->click();
    };
}
} // namespace

class TestDeviceDialog : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void listKeepsOrderAndDuplicates();
    void okReturnsTheCurrentName_data();
    void okReturnsTheCurrentName();
    void okWithoutCurrentEntryReturnsEmptyName();
    void editedEntryReturnsEditedText();
    void leavingWithoutOkIsNoChoice_data();
    void leavingWithoutOkIsNoChoice();
};

void TestDeviceDialog::form()
{
    devicedialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("devicedialog"));
    QCOMPARE(dialog.size(), QSize(419, 259));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Select"));
    auto *label = dialog.findChild<QLabel *>("label");
    QCOMPARE(label->text(), QStringLiteral("Please Select ONE Device"));
    QCOMPARE(label->geometry(), QRect(91, 31, 221, 16));
    QCOMPARE(listOf(&dialog)->geometry(), QRect(90, 60, 221, 111));
    QCOMPARE(listOf(&dialog)->selectionMode(), QAbstractItemView::SingleSelection);
    auto *box = dialog.findChild<QDialogButtonBox *>("buttonBox");
    QCOMPARE(box->geometry(), QRect(91, 197, 156, 23));
    QCOMPARE(box->orientation(), Qt::Horizontal);
    QCOMPARE(button(&dialog, QDialogButtonBox::Ok)->text(), QStringLiteral("Ok"));
    QCOMPARE(button(&dialog, QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    QVERIFY(!dialog.bIsOKAcceepted());
    QVERIFY(dialog.getDeviceName().isEmpty());
}

void TestDeviceDialog::listKeepsOrderAndDuplicates()
{
    devicedialog dialog;
    const QStringList names = {"*S1", "S2", "S2", ""};
    dialog.setDeviceName(names);
    QAbstractItemModel *model = listOf(&dialog)->model();
    QVERIFY(model);
    QCOMPARE(model->parent(), &dialog);
    QCOMPARE(model->rowCount(), names.size());
    for (int row = 0; row < names.size(); ++row)
        QCOMPARE(model->index(row, 0).data().toString(), names.at(row));
}

void TestDeviceDialog::okReturnsTheCurrentName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << QStringList{"S1", "S2"} << 0 << "S1";
    QTest::newRow("second") << QStringList{"S1", "S2"} << 1 << "S2";
    QTest::newRow("source mark kept") << QStringList{"*S1", "S2"} << 0 << "*S1";
    QTest::newRow("same name, first") << QStringList{"S3", "S3"} << 0 << "S3";
    QTest::newRow("same name, second") << QStringList{"S3", "S3"} << 1 << "S3";
}

void TestDeviceDialog::okReturnsTheCurrentName()
{
    QFETCH(QStringList, names);
    QFETCH(int, row);
    QFETCH(QString, expected);
    devicedialog dialog;
    dialog.setDeviceName(names);
    ModalAnswerer answerer;
    answerer.perform(okOnRow(row));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(dialog.bIsOKAcceepted());
    QCOMPARE(dialog.getDeviceName(), expected);
}

void TestDeviceDialog::okWithoutCurrentEntryReturnsEmptyName()
{
    devicedialog dialog;
    dialog.setDeviceName({});
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    dialog.exec();
    QVERIFY(dialog.bIsOKAcceepted());
    QVERIFY(dialog.getDeviceName().isEmpty());
}

void TestDeviceDialog::editedEntryReturnsEditedText()
{
    devicedialog dialog;
    dialog.setDeviceName({"S1", "S2"});
    ModalAnswerer answerer;
    answerer.perform([](QWidget *modal) {
        QListView *list = listOf(modal);
        const QModelIndex index = list->model()->index(1, 0);
        list->setCurrentIndex(index);
        list->edit(index);
        auto *editor = list->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText("S9");
        QTest::keyClick(editor, Qt::Key_Return);
        button(modal, QDialogButtonBox::Ok)->click();
    });
    dialog.exec();
    QVERIFY(dialog.bIsOKAcceepted());
    QCOMPARE(dialog.getDeviceName(), QStringLiteral("S9"));
}

void TestDeviceDialog::leavingWithoutOkIsNoChoice_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("title-bar close") << 2;
}

void TestDeviceDialog::leavingWithoutOkIsNoChoice()
{
    QFETCH(int, how);
    devicedialog dialog;
    dialog.setDeviceName({"S1", "S2"});
    ModalAnswerer answerer;
    if (how == 0)
        answerer.pressButton(QMessageBox::Cancel);
    else if (how == 1)
        answerer.pressKey(Qt::Key_Escape);
    else
        answerer.closeWindow();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!dialog.bIsOKAcceepted());
    QVERIFY(dialog.getDeviceName().isEmpty());
}

TARN_TEST_MAIN(TestDeviceDialog)
#include "tst_devicedialog.moc"
