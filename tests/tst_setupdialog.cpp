#include <QtTest>
#include <QtWidgets>

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

// Writes the store when given one, and reads it back.
Values stored(const QString *text = nullptr)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
    Values map = text ? values(*text) : Values();
    if (text)
        store.clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        store.setValue(it.key(), it.value());
    for (const QString &key : store.allKeys())
        map.insert(key, store.value(key).toString());
    return map;
}
void writeStore(const QString &text)
{
    stored(&text);
}

// The record in the store's key order.
Values recorded()
{
    const QVariantList fields = {
        para.blocksize, para.fullduplex, para.mlticastaddress,  para.nopointtppoint,
        para.savelog,   para.slice,      para.tcpport,          para.ttl,
        para.translate, para.udpport,    para.usebrodcasetport, para.appVersionNumer};
    Values map = values(Defaults);
    int field = 0;
    for (QString &value : map)
        value = fields.at(field++).toString();
    return map;
}

// Shows the dialog as the Setup action does, from the given store.
QPointer<SetupDialog> openDialog(const QString &store)
{
    writeStore(store);
    para.restore();
    auto *dialog = new SetupDialog();
    dialog->show();
    return dialog;
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>("buttonBox")->button(which);
}
} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void restoreAndSave_data()
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
    void restoreAndSave()
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
    void restoreDefaultsCancelAndApply()
    {
        QPointer<SetupDialog> dialog =
            openDialog(Defaults + ";Translate=2;TCP Port=40001;TTL=5;Multicast Address=239.0.0.9");
        auto *port = dialog->findChild<QSpinBox *>("spinBoxTcpPort");
        button(dialog, QDialogButtonBox::RestoreDefaults)->click();
        QVERIFY(dialog->isVisible()); // stays open, showing the defaults
        QCOMPARE(dialog->findChild<QComboBox *>("comboBox")->currentIndex(), 0);
        QCOMPARE(port->value(), 53275);
        // Cancel stores nothing of what was edited since.
        port->setValue(40001);
        button(dialog, QDialogButtonBox::Cancel)->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(recorded(), values(Defaults));
        QCOMPARE(stored(), values(Defaults));

        // Apply warns every time, and writes every key even when only the version was left.
        const QString edited = Defaults +
                               ";UDP Port=9100;Translate=2;TCP Port=40001;Block Size=4096;"
                               "Slice=100;Save Log=false;Use Broadcast port=true;"
                               "No Point to Point=true;Full Duplex=false";
        ModalAnswerer answerer;
        for (int round = 0; round < 2; ++round) {
            QPointer<SetupDialog> dialog = openDialog(round ? edited : Defaults + ";UDP Port=9100");
            writeStore("appVersionNumer=3");
            if (round == 0) {
                dialog->findChild<QComboBox *>("comboBox")->setCurrentIndex(2);
                dialog->findChild<QSpinBox *>("spinBoxTcpPort")->setValue(40001);
                dialog->findChild<QComboBox *>("comboBoxBlockSize")->setCurrentText("4096");
                dialog->findChild<QSpinBox *>("spinBoxSlice")->setValue(100);
                for (QCheckBox *box : dialog->findChildren<QCheckBox *>())
                    box->toggle();
            }
            answerer.pressButton(QMessageBox::Ok);
            button(dialog, QDialogButtonBox::Apply)->click();
            QTRY_VERIFY(dialog.isNull()); // closed and deleted
            QCOMPARE(answerer.seen().size(), round + 1);
            QCOMPARE(
                answerer.last().title + ": " + answerer.last().text +
                    answerer.last().buttons.join(','),
                QStringLiteral("WARNING: Please restart program if you change any port number.OK"));
            QCOMPARE(recorded(), values(edited));
            QCOMPARE(stored(), values(edited));
        }
    }
};

TARN_TEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
