#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
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
    void storedValueShownAndApplied_data();
    void storedValueShownAndApplied();
    void ttlAboveOneEnablesMulticastAddress();
    void restoreDefaultsThenCancelLeavesDefaults();
    void applyWarnsEveryTimeAndRewritesEveryKey();
    void applyStoresEditedValues();

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
    const auto spin = [&](const char *name) { return child<QSpinBox>(dialog, name); };
    QCOMPARE(spin("spinBoxTcpPort")->value(), 53275);
    QCOMPARE(spin("spinBoxUdpPort")->value(), 9000);
    QCOMPARE(spin("spinBoxSlice")->value(), 15);
    QCOMPARE(spin("spinBoxTtl")->value(), 1);
    // Only the command port and the slice are the operator's to change here.
    QVERIFY(spin("spinBoxTcpPort")->isEnabled() && spin("spinBoxSlice")->isEnabled());
    QVERIFY(!spin("spinBoxUdpPort")->isEnabled() && !spin("spinBoxTtl")->isEnabled());
    QVERIFY(!child<QLineEdit>(dialog, "lineEditMulticastAddress")->isEnabled());

    const auto itemsOf = [&](const char *name) {
        auto *box = child<QComboBox>(dialog, name);
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items << box->currentText();
    };
    QCOMPARE(itemsOf("comboBoxBlockSize"),
             QStringList({"Use Default", "1024", "2048", "4096", "8192", "16384", "32768",
                          "1048064", "Use Default"}));
    QCOMPARE(itemsOf("comboBox"),
             QStringList({"English", "Simplified Chinese", "Traditional Chinese", "English"}));
    QVERIFY(child<QCheckBox>(dialog, "checkBoxSaveLog")->isChecked());
    QVERIFY(child<QCheckBox>(dialog, "checkBoxFullDuplex")->isChecked());
    QVERIFY(!child<QCheckBox>(dialog, "checkBoxUseBroadcastPort")->isChecked());
    QVERIFY(!child<QCheckBox>(dialog, "checkBoxNoPointToPoint")->isChecked());
    delete dialog;
}

void TestSetupDialog::storedValueShownAndApplied_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("shown"); // and stored again by Apply

    QTest::newRow("port 0") << "TCP Port" << QVariant(0) << "spinBoxTcpPort"
                            << "1";
    QTest::newRow("unknown block size") << "Block Size" << QVariant("512") << "comboBoxBlockSize"
                                        << "Use Default";
    QTest::newRow("known block size") << "Block Size" << QVariant("1048064") << "comboBoxBlockSize"
                                      << "1048064";
    QTest::newRow("TTL below range") << "TTL" << QVariant(0) << "spinBoxTtl"
                                     << "1";
    QTest::newRow("slice above range") << "Slice" << QVariant(5000) << "spinBoxSlice"
                                       << "1024";
}

void TestSetupDialog::storedValueShownAndApplied()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, widget);
    QFETCH(QString, shown);
    storeAndRestore({{key, value}});
    QPointer<SetupDialog> dialog = openDialog();
    auto *spin = dialog->findChild<QSpinBox *>(widget);
    auto *combo = dialog->findChild<QComboBox *>(widget);
    QVERIFY(spin || combo);
    QCOMPARE(spin ? QString::number(spin->value()) : combo->currentText(), shown);
    ModalAnswerer answerer;
    applyAndWait(dialog, answerer);
    QCOMPARE(stored(key.toLatin1()).toString(), shown);
}

void TestSetupDialog::ttlAboveOneEnablesMulticastAddress()
{
    storeAndRestore({{"TTL", 5}, {"Multicast Address", "239.0.0.9"}});
    QPointer<SetupDialog> dialog = openDialog();
    auto *ttl = child<QSpinBox>(dialog, "spinBoxTtl");
    auto *multicast = child<QLineEdit>(dialog, "lineEditMulticastAddress");
    QCOMPARE(ttl->value(), 5);
    QVERIFY(multicast->isEnabled());
    QCOMPARE(multicast->text(), QStringLiteral("239.0.0.9"));
    ttl->setValue(1);
    QVERIFY(!multicast->isEnabled());
    ttl->setValue(2);
    QVERIFY(multicast->isEnabled());
    delete dialog;
}

void TestSetupDialog::restoreDefaultsThenCancelLeavesDefaults()
{
    storeAndRestore({{"Translate", 2}, {"TCP Port", 40001}, {"TTL", 5}, {"Save Log", false}});
    QPointer<SetupDialog> dialog = openDialog();
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 2);

    button(dialog, QDialogButtonBox::RestoreDefaults)->click();
    QVERIFY(dialog->isVisible()); // stays open, showing the defaults
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 0);
    QCOMPARE(child<QSpinBox>(dialog, "spinBoxTcpPort")->value(), 53275);
    QVERIFY(!child<QLineEdit>(dialog, "lineEditMulticastAddress")->isEnabled());
    QVERIFY(child<QCheckBox>(dialog, "checkBoxSaveLog")->isChecked());

    // Cancel stores nothing of what was edited since.
    child<QSpinBox>(dialog, "spinBoxTcpPort")->setValue(40001);
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
    const QVariantMap expected{{"Translate", 2},
                               {"TCP Port", 40001},
                               {"Block Size", "4096"},
                               {"Slice", 100},
                               {"Save Log", false},
                               {"Use Broadcast port", true},
                               {"No Point to Point", true},
                               {"Full Duplex", false}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(stored(it.key().toLatin1()).toString() == it.value().toString(),
                 qPrintable(it.key()));
}

TARN_TEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
