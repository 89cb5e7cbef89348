#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include "app/para.h"
#include "app/setupdialog.h"
#include "testkit/modalanswerer.h"
#include "testkit/testenv.h"

namespace {
const char *const RestartText = "Please restart program if you change any port number.";

QSettings *openStore()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
}

// A valid store with the given values over the defaults, then restored into the record.
void storeAndRestore(const QVariantMap &values)
{
    {
        QScopedPointer<QSettings> store(openStore());
        store->clear();
        store->sync();
    }
    para = Para();
    para.restore(); // an empty store yields the defaults
    QScopedPointer<QSettings> store(openStore());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
    store->sync();
    para.restore();
}

QVariant stored(const char *key)
{
    QScopedPointer<QSettings> store(openStore());
    return store->value(key);
}

template <typename T> T *child(QWidget *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(which);
}
} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void formShowsDefaults();
    void storedPortZeroShowsOneAndAppliesOne();
    void unknownBlockSizeShowsAndAppliesUseDefault();
    void ttlAboveOneEnablesMulticastAddress();
    void restoreDefaultsThenCancelLeavesDefaults();
    void applyWarnsEveryTimeAndRewritesEveryKey();
    void applyStoresEditedValues();
    void cancelAndEscapeStoreNothing();

private:
    // Shows a dialog as the Setup action does and clicks one of its buttons.
    QPointer<SetupDialog> openDialog()
    {
        auto *dialog = new SetupDialog();
        dialog->show();
        return dialog;
    }
    void applyAndWait(QPointer<SetupDialog> dialog, ModalAnswerer &answerer)
    {
        answerer.pressButton(QMessageBox::Ok);
        button(dialog, QDialogButtonBox::Apply)->click();
        QTRY_VERIFY(dialog.isNull()); // closed and deleted
        QCOMPARE(answerer.pending(), 0);
    }
};

void TestSetupDialog::formShowsDefaults()
{
    storeAndRestore({});
    QPointer<SetupDialog> dialog = openDialog();
    QCOMPARE(dialog->objectName(), QStringLiteral("SetupDialog"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Setup"));
    QCOMPARE(button(dialog, QDialogButtonBox::Apply)->text(), QStringLiteral("Apply"));
    QCOMPARE(button(dialog, QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    QCOMPARE(button(dialog, QDialogButtonBox::RestoreDefaults)->text(),
             QStringLiteral("RestoreDefaults"));
    QCOMPARE(child<QLabel>(dialog, "labelVersion")->text(), QStringLiteral("Ver 1.03 2019-10-03"));

    auto *tcp = child<QSpinBox>(dialog, "spinBoxTcpPort");
    QCOMPARE(tcp->minimum(), 1);
    QCOMPARE(tcp->maximum(), 65535);
    QCOMPARE(tcp->value(), 53275);
    QVERIFY(tcp->isEnabled());
    auto *udp = child<QSpinBox>(dialog, "spinBoxUdpPort");
    QCOMPARE(udp->minimum(), 0);
    QCOMPARE(udp->maximum(), 65535);
    QCOMPARE(udp->value(), 9000);
    QVERIFY(!udp->isEnabled());
    auto *ttl = child<QSpinBox>(dialog, "spinBoxTtl");
    QCOMPARE(ttl->minimum(), 1);
    QCOMPARE(ttl->maximum(), 99);
    QCOMPARE(ttl->value(), 1);
    QVERIFY(!ttl->isEnabled());
    auto *slice = child<QSpinBox>(dialog, "spinBoxSlice");
    QCOMPARE(slice->minimum(), 15);
    QCOMPARE(slice->maximum(), 1024);
    QCOMPARE(slice->value(), 15);
    auto *multicast = child<QLineEdit>(dialog, "lineEditMulticastAddress");
    QCOMPARE(multicast->text(), QStringLiteral("224.0.0.1"));
    QVERIFY(!multicast->isEnabled());

    auto *blockSize = child<QComboBox>(dialog, "comboBoxBlockSize");
    QVERIFY(!blockSize->isEditable());
    QStringList choices;
    for (int i = 0; i < blockSize->count(); ++i)
        choices << blockSize->itemText(i);
    QCOMPARE(choices, QStringList({"Use Default", "1024", "2048", "4096", "8192", "16384", "32768",
                                   "1048064"}));
    QCOMPARE(blockSize->currentText(), QStringLiteral("Use Default"));
    auto *language = child<QComboBox>(dialog, "comboBox");
    QCOMPARE(language->count(), 3);
    QCOMPARE(language->itemText(0), QStringLiteral("English"));
    QCOMPARE(language->itemText(1), QStringLiteral("Simplified Chinese"));
    QCOMPARE(language->itemText(2), QStringLiteral("Traditional Chinese"));
    QCOMPARE(language->currentIndex(), 0);

    QVERIFY(child<QCheckBox>(dialog, "checkBoxSaveLog")->isChecked());
    QVERIFY(child<QCheckBox>(dialog, "checkBoxFullDuplex")->isChecked());
    QVERIFY(!child<QCheckBox>(dialog, "checkBoxUseBroadcastPort")->isChecked());
    QVERIFY(!child<QCheckBox>(dialog, "checkBoxNoPointToPoint")->isChecked());
    for (const char *name : {"checkBoxSaveLog", "checkBoxFullDuplex", "checkBoxUseBroadcastPort",
                             "checkBoxNoPointToPoint"})
        QVERIFY2(child<QCheckBox>(dialog, name)->isEnabled(), name);
    delete dialog;
}

void TestSetupDialog::storedPortZeroShowsOneAndAppliesOne()
{
    storeAndRestore({{"TCP Port", 0}});
    QCOMPARE(para.tcpport, 0);
    QPointer<SetupDialog> dialog = openDialog();
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxTcpPort")->value(), 1);
    ModalAnswerer answerer;
    applyAndWait(dialog, answerer);
    QCOMPARE(para.tcpport, 1);
    QCOMPARE(stored("TCP Port").toInt(), 1);
}

void TestSetupDialog::unknownBlockSizeShowsAndAppliesUseDefault()
{
    storeAndRestore({{"Block Size", "512"}});
    QCOMPARE(para.blocksize, QStringLiteral("512"));
    QPointer<SetupDialog> dialog = openDialog();
    QCOMPARE(child<QComboBox>(dialog, "comboBoxBlockSize")->currentText(),
             QStringLiteral("Use Default"));
    ModalAnswerer answerer;
    applyAndWait(dialog, answerer);
    QCOMPARE(stored("Block Size").toString(), QStringLiteral("Use Default"));

    // A known choice is shown as stored.
    storeAndRestore({{"Block Size", "1048064"}});
    dialog = openDialog();
    QCOMPARE(child<QComboBox>(dialog, "comboBoxBlockSize")->currentText(),
             QStringLiteral("1048064"));
    delete dialog;
}

void TestSetupDialog::ttlAboveOneEnablesMulticastAddress()
{
    storeAndRestore({{"TTL", 5}, {"Multicast Address", "239.0.0.9"}});
    QPointer<SetupDialog> dialog = openDialog();
    auto *ttl = child<QSpinBox>(dialog, "spinBoxTtl");
    auto *multicast = child<QLineEdit>(dialog, "lineEditMulticastAddress");
    QCOMPARE(ttl->value(), 5);
    QVERIFY(!ttl->isEnabled());
    QVERIFY(multicast->isEnabled());
    QCOMPARE(multicast->text(), QStringLiteral("239.0.0.9"));
    ttl->setValue(1);
    QVERIFY(!multicast->isEnabled());
    ttl->setValue(2);
    QVERIFY(multicast->isEnabled());
    delete dialog;

    // Out of range: kept at the nearest end.
    storeAndRestore({{"TTL", 0}, {"Slice", 5000}});
    dialog = openDialog();
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxTtl")->value(), 1);
    QVERIFY(!child<QLineEdit>(dialog, "lineEditMulticastAddress")->isEnabled());
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxSlice")->value(), 1024);
    delete dialog;
}

void TestSetupDialog::restoreDefaultsThenCancelLeavesDefaults()
{
    storeAndRestore({{"Translate", 2}, {"TCP Port", 40001}, {"TTL", 5}, {"Save Log", false}});
    QPointer<SetupDialog> dialog = openDialog();
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 2);

    button(dialog, QDialogButtonBox::RestoreDefaults)->click();
    QVERIFY(dialog->isVisible()); // stays open
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 0);
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxTcpPort")->value(), 53275);
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxTtl")->value(), 1);
    QVERIFY(!child<QLineEdit>(dialog, "lineEditMulticastAddress")->isEnabled());
    QVERIFY(child<QCheckBox>(dialog, "checkBoxSaveLog")->isChecked());
    QCOMPARE(para.tcpport, 53275);
    QCOMPARE(stored("TCP Port").toInt(), 53275);

    button(dialog, QDialogButtonBox::Cancel)->click();
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(para.translate, 0);
    QCOMPARE(para.tcpport, 53275);
    QCOMPARE(para.savelog, true);
    QCOMPARE(stored("Translate").toInt(), 0);
    QCOMPARE(stored("TCP Port").toInt(), 53275);
    QCOMPARE(stored("TTL").toInt(), 1);
}

void TestSetupDialog::applyWarnsEveryTimeAndRewritesEveryKey()
{
    storeAndRestore({{"UDP Port", 9100}});
    ModalAnswerer answerer;
    for (int round = 0; round < 2; ++round) {
        // Leave only the version in the store: Apply must write back every key.
        {
            QScopedPointer<QSettings> store(openStore());
            for (const QString &key : store->allKeys())
                if (key != QLatin1String("appVersionNumer"))
                    store->remove(key);
        }
        QPointer<SetupDialog> dialog = openDialog();
        applyAndWait(dialog, answerer);
        QCOMPARE(answerer.seen().size(), round + 1);
        const ModalAnswerer::Seen box = answerer.last();
        QCOMPARE(box.className, QStringLiteral("QMessageBox"));
        QCOMPARE(box.title, QStringLiteral("WARNING"));
        QCOMPARE(box.text, QString::fromLatin1(RestartText));
        QCOMPARE(box.buttons, QStringList({"OK"}));
        QScopedPointer<QSettings> store(openStore());
        QCOMPARE(store->allKeys().size(), 12);
        QCOMPARE(store->value("UDP Port").toInt(), 9100);
        QCOMPARE(store->value("Multicast Address").toString(), QStringLiteral("224.0.0.1"));
        QCOMPARE(store->value("appVersionNumer").toInt(), 3);
    }
}

void TestSetupDialog::applyStoresEditedValues()
{
    storeAndRestore({});
    QPointer<SetupDialog> dialog = openDialog();
    child<QComboBox>(dialog, "comboBox")->setCurrentIndex(2);
    child<QSpinBox>(dialog, "spinBoxTcpPort")->setValue(40001);
    child<QComboBox>(dialog, "comboBoxBlockSize")->setCurrentText("4096");
    child<QSpinBox>(dialog, "spinBoxSlice")->setValue(100);
    child<QCheckBox>(dialog, "checkBoxSaveLog")->setChecked(false);
    child<QCheckBox>(dialog, "checkBoxUseBroadcastPort")->setChecked(true);
    child<QCheckBox>(dialog, "checkBoxNoPointToPoint")->setChecked(true);
    child<QCheckBox>(dialog, "checkBoxFullDuplex")->setChecked(false);
    ModalAnswerer answerer;
    applyAndWait(dialog, answerer);
    QCOMPARE(para.translate, 2);
    QCOMPARE(stored("Translate").toInt(), 2);
    QCOMPARE(stored("TCP Port").toInt(), 40001);
    QCOMPARE(stored("Block Size").toString(), QStringLiteral("4096"));
    QCOMPARE(stored("Slice").toInt(), 100);
    QCOMPARE(stored("Save Log").toBool(), false);
    QCOMPARE(stored("Use Broadcast port").toBool(), true);
    QCOMPARE(stored("No Point to Point").toBool(), true);
    QCOMPARE(stored("Full Duplex").toBool(), false);
}

void TestSetupDialog::cancelAndEscapeStoreNothing()
{
    storeAndRestore({});
    QPointer<SetupDialog> dialog = openDialog();
    child<QSpinBox>(dialog, "spinBoxTcpPort")->setValue(40001);
    button(dialog, QDialogButtonBox::Cancel)->click();
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(para.tcpport, 53275);
    QCOMPARE(stored("TCP Port").toInt(), 53275);

    // Escape rejects the modal run without storing.
    dialog = new SetupDialog();
    child<QSpinBox>(dialog, "spinBoxTcpPort")->setValue(40002);
    ModalAnswerer answerer;
    answerer.pressKey(Qt::Key_Escape);
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));
    QCOMPARE(stored("TCP Port").toInt(), 53275);
    QCOMPARE(para.tcpport, 53275);
    delete dialog;
}

TARN_TEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
