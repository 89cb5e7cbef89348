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
using Values = QMap<QString, QString>;

const QString Defaults = "appVersionNumer=3;Translate=0;TCP Port=53275;UDP Port=9000;"
                         "Multicast Address=224.0.0.1;TTL=1;Save Log=true;Full Duplex=true;"
                         "Use Broadcast port=false;No Point to Point=false;Block Size=Use Default;"
                         "Slice=15";
// A valid store whose every value differs from the default.
const QString Custom = "appVersionNumer=3;Translate=2;TCP Port=40001;UDP Port=9100;"
                       "Multicast Address=239.1.2.3;TTL=7;Save Log=false;Full Duplex=false;"
                       "Use Broadcast port=true;No Point to Point=true;Block Size=512;Slice=200";

// "key=value;key": later pairs win, a key without value is left out.
Values values(const QString &text)
{
    Values map;
    for (const QString &pair : text.split(';', Qt::SkipEmptyParts)) {
        if (pair.contains('='))
            map.insert(pair.section('=', 0, 0), pair.section('=', 1));
        else
            map.remove(pair);
    }
    return map;
}

QSettings *openStore()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
}

void writeStore(const QString &text)
{
    QScopedPointer<QSettings> store(openStore());
    store->clear();
    const Values map = values(text);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        store->setValue(it.key(), it.value());
}

Values stored()
{
    QScopedPointer<QSettings> store(openStore());
    Values map;
    for (const QString &key : store->allKeys())
        map.insert(key, store->value(key).toString());
    return map;
}

Values recorded()
{
    const QVariantList fields = {para.appVersionNumer, para.translate,       para.tcpport,
                                 para.udpport,         para.mlticastaddress, para.ttl,
                                 para.savelog,         para.fullduplex,      para.usebrodcasetport,
                                 para.nopointtppoint,  para.blocksize,       para.slice};
    const QStringList keys = {"appVersionNumer",   "Translate",         "TCP Port",
                              "UDP Port",          "Multicast Address", "TTL",
                              "Save Log",          "Full Duplex",       "Use Broadcast port",
                              "No Point to Point", "Block Size",        "Slice"};
    Values map;
    for (int i = 0; i < keys.size(); ++i)
        map.insert(keys.at(i), fields.at(i).toString());
    return map;
}

template <typename T> T *child(QWidget *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

void click(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(which)->click();
}
} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void restoreAndSave_data();
    void restoreAndSave();
    void storedValueShownAndApplied_data();
    void storedValueShownAndApplied();
    void restoreDefaultsThenCancel();
    void applyWarnsEveryTimeAndRewritesEveryKey();

private:
    // Shows the dialog as the Setup action does, from the given store.
    QPointer<SetupDialog> openDialog(const QString &store)
    {
        writeStore(store);
        para.restore();
        auto *dialog = new SetupDialog();
        dialog->show();
        return dialog;
    }
    void apply(QPointer<SetupDialog> dialog, ModalAnswerer &answerer)
    {
        answerer.pressButton(QMessageBox::Ok);
        click(dialog, QDialogButtonBox::Apply);
        QTRY_VERIFY(dialog.isNull()); // closed and deleted
        QCOMPARE(answerer.pending(), 0);
    }
};

void TestSetupDialog::restoreAndSave_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("restored");
    QTest::newRow("empty store filled with defaults") << QString() << Defaults;
    QTest::newRow("every value changed, kept") << Custom << Custom;
    for (const char *wrong : {"appVersionNumer=2", "appVersionNumer=4", "appVersionNumer=three",
                              "Translate=3", "Translate=-1"})
        QTest::newRow(wrong) << Custom + ";" + wrong << Defaults;
    // Missing keys read as zero without a reset; Save Log and Full Duplex read apart.
    QTest::newRow("missing keys")
        << Custom + ";Translate=1;TCP Port;Block Size;Save Log=true;Full Duplex"
        << Custom + ";Translate=1;TCP Port=0;Block Size=;Save Log=true";
}

void TestSetupDialog::restoreAndSave()
{
    QFETCH(QString, store);
    QFETCH(QString, restored);
    writeStore(store);
    para = Para();
    para.restore();
    QCOMPARE(recorded(), values(restored));
    // A store of another layout or language is reset wholly, any other left as it is.
    QCOMPARE(stored(), values(restored == Defaults ? Defaults : store));
    writeStore(QString());
    para.save();
    QCOMPARE(stored(), recorded()); // every key, from the record
    para.save(Para::paraDefault);
    QCOMPARE(recorded(), values(Defaults));
    QCOMPARE(stored(), values(Defaults));
}

void TestSetupDialog::storedValueShownAndApplied_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("shown"); // and stored again by Apply
    QTest::newRow("port 0") << "TCP Port"
                            << "0"
                            << "spinBoxTcpPort"
                            << "1";
    QTest::newRow("unknown block size") << "Block Size"
                                        << "512"
                                        << "comboBoxBlockSize"
                                        << "Use Default";
    QTest::newRow("known block size") << "Block Size"
                                      << "1048064"
                                      << "comboBoxBlockSize"
                                      << "1048064";
    QTest::newRow("TTL below range") << "TTL"
                                     << "0"
                                     << "spinBoxTtl"
                                     << "1";
    QTest::newRow("slice above range") << "Slice"
                                       << "5000"
                                       << "spinBoxSlice"
                                       << "1024";
}

void TestSetupDialog::storedValueShownAndApplied()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, widget);
    QFETCH(QString, shown);
    QPointer<SetupDialog> dialog = openDialog(Defaults + ";" + key + "=" + value);
    auto *spin = dialog->findChild<QSpinBox *>(widget);
    auto *combo = dialog->findChild<QComboBox *>(widget);
    QVERIFY(spin || combo);
    QCOMPARE(spin ? QString::number(spin->value()) : combo->currentText(), shown);
    ModalAnswerer answerer;
    apply(dialog, answerer);
    QCOMPARE(stored().value(key), shown);
}

void TestSetupDialog::restoreDefaultsThenCancel()
{
    QPointer<SetupDialog> dialog =
        openDialog(Defaults + ";Translate=2;TCP Port=40001;TTL=5;Multicast Address=239.0.0.9");
    const auto spin = [&](const char *name) { return child<QSpinBox>(dialog, name); };
    auto *multicast = child<QLineEdit>(dialog, "lineEditMulticastAddress");
    // Only the command port and the slice are the operator's to change here; the multicast
    // address only beyond the local link.
    QVERIFY(spin("spinBoxTcpPort")->isEnabled() && spin("spinBoxSlice")->isEnabled());
    QVERIFY(!spin("spinBoxUdpPort")->isEnabled() && !spin("spinBoxTtl")->isEnabled());
    QCOMPARE(multicast->text(), QStringLiteral("239.0.0.9"));
    QVERIFY(multicast->isEnabled());
    spin("spinBoxTtl")->setValue(1);
    QVERIFY(!multicast->isEnabled());
    spin("spinBoxTtl")->setValue(2);
    QVERIFY(multicast->isEnabled());
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 2);

    click(dialog, QDialogButtonBox::RestoreDefaults);
    QVERIFY(dialog->isVisible()); // stays open, showing the defaults
    QCOMPARE(child<QComboBox>(dialog, "comboBox")->currentIndex(), 0);
    QCOMPARE(spin("spinBoxTcpPort")->value(), 53275);
    QVERIFY(!multicast->isEnabled());
    // Cancel stores nothing of what was edited since.
    spin("spinBoxTcpPort")->setValue(40001);
    click(dialog, QDialogButtonBox::Cancel);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(recorded(), values(Defaults));
    QCOMPARE(stored(), values(Defaults));
}

void TestSetupDialog::applyWarnsEveryTimeAndRewritesEveryKey()
{
    const QString edited = Defaults + ";UDP Port=9100;Translate=2;TCP Port=40001;Block Size=4096;"
                                      "Slice=100;Save Log=false;Use Broadcast port=true;"
                                      "No Point to Point=true;Full Duplex=false";
    ModalAnswerer answerer;
    for (int round = 0; round < 2; ++round) {
        // Only the version stays in the store: Apply must write back every key.
        QPointer<SetupDialog> dialog = openDialog(round ? edited : Defaults + ";UDP Port=9100");
        writeStore("appVersionNumer=3");
        if (round == 0) {
            child<QComboBox>(dialog, "comboBox")->setCurrentIndex(2);
            child<QSpinBox>(dialog, "spinBoxTcpPort")->setValue(40001);
            child<QComboBox>(dialog, "comboBoxBlockSize")->setCurrentText("4096");
            child<QSpinBox>(dialog, "spinBoxSlice")->setValue(100);
            child<QCheckBox>(dialog, "checkBoxSaveLog")->setChecked(false);
            child<QCheckBox>(dialog, "checkBoxUseBroadcastPort")->setChecked(true);
            child<QCheckBox>(dialog, "checkBoxNoPointToPoint")->setChecked(true);
            child<QCheckBox>(dialog, "checkBoxFullDuplex")->setChecked(false);
        }
        apply(dialog, answerer);
        QCOMPARE(answerer.seen().size(), round + 1);
        QCOMPARE(answerer.last().className, QStringLiteral("QMessageBox"));
        QCOMPARE(answerer.last().title, QStringLiteral("WARNING"));
        QCOMPARE(answerer.last().text,
                 QStringLiteral("Please restart program if you change any port number."));
        QCOMPARE(answerer.last().buttons, QStringList({"OK"}));
        QCOMPARE(recorded(), values(edited));
        QCOMPARE(stored(), values(edited));
    }
}

TARN_TEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
