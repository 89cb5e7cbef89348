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

} // namespace

class TestDeviceDialog : public QObject
{
    Q_OBJECT

private slots:
    void formAndList();
    void okReturnsTheCurrentName_data();
    void okReturnsTheCurrentName();
    void leavingWithoutOkIsNoChoice_data();
    void leavingWithoutOkIsNoChoice();
};

void TestDeviceDialog::formAndList()
{
    devicedialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Select"));
    QCOMPARE(dialog.findChild<QLabel *>("label")->text(),
             QStringLiteral("Please Select ONE Device"));
    QCOMPARE(listOf(&dialog)->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(button(&dialog, QDialogButtonBox::Ok)->text(), QStringLiteral("Ok"));
    QVERIFY(!dialog.bIsOKAcceepted());
    QVERIFY(dialog.getDeviceName().isEmpty());

    // Order and duplicates kept, empty names too.
    const QStringList names = {"*S1", "S2", "S2", ""};
    dialog.setDeviceName(names);
    QAbstractItemModel *model = listOf(&dialog)->model();
    QCOMPARE(model->parent(), &dialog);
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << model->index(row, 0).data().toString();
    QCOMPARE(shown, names);
}

void TestDeviceDialog::okReturnsTheCurrentName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("row"); // made current (focus frame only, nothing selected); -1: none
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << QStringList{"S1", "S2"} << 0 << QString() << "S1";
    QTest::newRow("second") << QStringList{"S1", "S2"} << 1 << QString() << "S2";
    QTest::newRow("source mark kept") << QStringList{"*S1", "S2"} << 0 << QString() << "*S1";
    QTest::newRow("same name, second") << QStringList{"S3", "S3"} << 1 << QString() << "S3";
    QTest::newRow("no current entry") << QStringList() << -1 << QString() << QString();
    QTest::newRow("edited entry") << QStringList{"S1", "S2"} << 1 << "S9"
                                  << "S9";
}

void TestDeviceDialog::okReturnsTheCurrentName()
{
    QFETCH(QStringList, names);
    QFETCH(int, row);
    QFETCH(QString, edited);
    QFETCH(QString, expected);
    devicedialog dialog;
    dialog.setDeviceName(names);
    ModalAnswerer answerer;
    answerer.perform([=](QWidget *modal) {
        QListView *list = listOf(modal);
        const QModelIndex index = list->model()->index(row, 0);
        if (row >= 0)
            list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Clear);
        if (!edited.isEmpty()) {
            list->edit(index);
            auto *editor = list->findChild<QLineEdit *>();
            QVERIFY(editor);
            editor->setText(edited);
            QTest::keyClick(editor, Qt::Key_Return);
        }
        button(modal, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(dialog.bIsOKAcceepted());
    QCOMPARE(dialog.getDeviceName(), expected);
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
