#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>
#include <QtWidgets>

#include "app/para.h"
#include "app/setupdialog.h"
#include "app/translation.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/testenv.h"

#include <unistd.h>

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

void writeStore(const QString &text)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
    store.clear();
    const Values map = values(text);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        store.setValue(it.key(), it.value());
}

Values stored()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvane", "TARN");
    Values map;
    for (const QString &key : store.allKeys())
        map.insert(key, store.value(key).toString());
    return map;
}

// The record as it saves itself into an empty store (the store is lost).
Values recorded()
{
    writeStore(QString());
    para.save();
    return stored();
}

// Set in the copy of this test that runs inside its own network namespace.
const char *const InsideNamespace = "TARN_ANNOUNCE_NETNS";
constexpr int DefaultCommandPort = 53275; // nothing else lives in the private namespace

// Two networks on the two ends of a virtual cable, and a third whose interface is down.
const char *const NetworkSetup =
    "link set lo up;link add tarn0 type veth peer name tarn1;"
    "addr add 10.231.1.1/24 broadcast + dev tarn0;addr add 10.231.2.1/24 broadcast + dev tarn1;"
    "link set tarn0 up;link set tarn1 up;link add tarn2 type veth peer name tarn3;"
    "addr add 10.231.3.1/24 broadcast + dev tarn2";

// The folders whose sources hold operator-visible texts.
const QStringList SourceFolders = {"app", "server", "client", "image", "transfer", "ui"};
constexpr int ChildRunMs = 60000; // the copy in the namespace, lupdate
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
        // A store of another layout or language is reset wholly, any other left as it is.
        QCOMPARE(stored(), values(restored == Defaults ? Defaults : store));
        QCOMPARE(recorded(), values(restored));
    }
    // Restore Defaults shows and stores the defaults; Cancel then stores nothing edited since.
    // Apply warns every time, and writes every key even when only the version was left.
    void restoreDefaultsCancelAndApply()
    {
        const QString edited = Defaults + ";UDP Port=9100;Translate=2;TCP Port=40001;Slice=100;"
                                          "Block Size=4096;Save Log=false;Use Broadcast port=true;"
                                          "No Point to Point=true;Full Duplex=false";
        const QStringList opened = {Custom, Defaults + ";UDP Port=9100", edited};
        ModalAnswerer answerer;
        for (int round = 0; round < 3; ++round) {
            writeStore(opened[round]); // as the Setup action shows the dialog
            para.restore();
            QPointer<SetupDialog> dialog = new SetupDialog();
            dialog->show();
            auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
            auto *language = dialog->findChild<QComboBox *>("comboBox");
            auto *port = dialog->findChild<QSpinBox *>("spinBoxTcpPort");
            if (round == 0) {
                buttons->button(QDialogButtonBox::RestoreDefaults)->click();
                QVERIFY(dialog->isVisible());
                QCOMPARE(language->currentIndex(), 0);
                QCOMPARE(port->value(), 53275);
                port->setValue(40001);
                buttons->button(QDialogButtonBox::Cancel)->click();
            } else {
                writeStore("appVersionNumer=3");
                if (round == 1) {
                    language->setCurrentIndex(2);
                    port->setValue(40001);
                    dialog->findChild<QComboBox *>("comboBoxBlockSize")->setCurrentText("4096");
                    dialog->findChild<QSpinBox *>("spinBoxSlice")->setValue(100);
                    for (QCheckBox *box : dialog->findChildren<QCheckBox *>())
                        box->toggle();
                }
                answerer.pressButton(QMessageBox::Ok);
                buttons->button(QDialogButtonBox::Apply)->click();
            }
            QTRY_VERIFY(dialog.isNull()); // closed and deleted
            QCOMPARE(answerer.seen().size(), round);
            for (const ModalAnswerer::Seen &box : answerer.seen())
                QCOMPARE(box.title + ": " + box.text + '|' + box.buttons.join(','),
                         QStringLiteral("WARNING: Please restart program if you change any port "
                                        "number.|OK"));
            QCOMPARE(stored(), values(round ? edited : Defaults));
            QCOMPARE(recorded(), values(round ? edited : Defaults));
        }
    }

    void announcesOnEveryNetwork()
    {
        if (!qEnvironmentVariableIsSet(InsideNamespace)) {
            // A real announcement broadcasts on every network of the computer: it only ever runs in
            // a network namespace of its own.
            if (geteuid() != 0 || QStandardPaths::findExecutable("ip").isEmpty() ||
                QProcess::execute("unshare", {"-n", "true"}) != 0)
                QSKIP("needs root, ip and unshare, and private network namespaces permitted");
            qputenv(InsideNamespace, "1");
            QProcess inner;
            inner.setProcessChannelMode(QProcess::MergedChannels);
            inner.start("unshare", {"-n", "--", QCoreApplication::applicationFilePath(),
                                    "announcesOnEveryNetwork"});
            QVERIFY(inner.waitForFinished(ChildRunMs));
            const QByteArray output = inner.readAll();
            QVERIFY2(inner.exitStatus() == QProcess::NormalExit && inner.exitCode() == 0,
                     output.constData());
            QVERIFY2(!output.contains("SKIP"), output.constData());
            return;
        }
        for (const QString &step : QString(NetworkSetup).split(';'))
            QCOMPARE(QProcess::execute("ip", step.split(' ')), 0);
        para.tcpport = DefaultCommandPort;
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::AnyIPv4, DefaultCommandPort + 2));
        QTextBrowser log;
        QStandardItemModel model;
        QTabWidget tabs;
        tabs.addTab(new QWidget, "Machines Summary");
        Server server(&log, DefaultCommandPort, model.invisibleRootItem(), &tabs);

        // One datagram per IPv4 network, loopback included, each to its broadcast address and
        // carrying the console's own address there; the network whose interface is down fails.
        const int started = log.toPlainText().size();
        QVERIFY(QMetaObject::invokeMethod(&server, "reflashClients"));
        QStringList sent = log.toPlainText().mid(started).split('\n', Qt::SkipEmptyParts);
        sent.sort();
        QCOMPARE(sent, QStringList({"Fails broadcast 10.231.3.255!", "broadcast 10.231.1.255",
                                    "broadcast 10.231.2.255", "broadcast 10.231.3.255",
                                    "broadcast 127.255.255.255"}));
        QStringList announced; // "to from: data"
        const auto receive = [&] {
            while (receiver.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = receiver.receiveDatagram();
                announced << datagram.destinationAddress().toString() + " " +
                                 datagram.senderAddress().toString() + ": " + datagram.data();
            }
            return announced.size() >= 3;
        };
        QTRY_VERIFY(receive());
        QTest::qWait(100); // nothing more may come
        receive();
        announced.sort();
        QCOMPARE(announced, QStringList({"10.231.1.255 10.231.1.1: 10.231.1.1",
                                         "10.231.2.255 10.231.2.1: 10.231.2.1",
                                         "127.255.255.255 127.0.0.1: 127.0.0.1"}));
    }
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
        QVERIFY2(lupdate.waitForFinished(ChildRunMs), qPrintable(lupdate.errorString()));
        QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
                 lupdate.readAll().constData());

        const auto placeholders = [](const QString &text) {
            QSet<QString> found;
            for (auto it = QRegularExpression("%L?\\d+").globalMatch(text); it.hasNext();)
                found << it.next().captured();
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
        // The language; COPY, Setup, Device Select and the codec shown. English first, while no
        // language is installed yet.
        QTest::addColumn<QStringList>("row");
        QTest::newRow("English") << QStringList{"0", "COPY", "Setup", "Device Select",
                                                "ISO-8859-1"};
        QTest::newRow("Simplified") << QStringList{"1", "复制", "设置", "选择设备", "UTF-8"};
        QTest::newRow("Traditional") << QStringList{"2", "複製", "設定", "選擇裝置", "UTF-8"};
    }
    void installsLanguage()
    {
        QFETCH(QStringList, row);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        const QString fontBefore = QApplication::font().family();
        installLanguage(row[0].toInt());
        QCOMPARE(QStringList({row[0], QCoreApplication::translate("MainWindow", "COPY"),
                              QCoreApplication::translate("SetupDialog", "Setup"),
                              QCoreApplication::translate("devicedialog", "Device Select"),
                              QTextCodec::codecForLocale()->name()}),
                 row);
        QCOMPARE(QApplication::font().family(),
                 row[0] != "0" ? QStringLiteral("UTF-8") : fontBefore);
    }
};

TARN_TEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
