#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "image/imagefile.h"
#include "testkit/loopbackport.h"
#include "testkit/modalanswerer.h"
#include "testkit/simulatedmachines.h"
#include "testkit/testenv.h"
#include "testkit/windowprobe.h"
#include "transfer/transferlimits.h"
#include "ui/mainwindow.h"

#include <QListWidget>
#include <QNetworkAddressEntry>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextCodec>

#include <memory>

// The console in this process, driven through its window as an operator drives it, against
// simulated machines in a tarn-machine process on loopback.

namespace {

constexpr int MachineCount = 3;
// Small devices keep every transfer short; 6 MiB still spans several transfer blocks.
constexpr qint64 Sectors = 6 * 1024 * 1024 / SectorSize;
constexpr int WaitMs = 30000;
// A box that nothing answers is closed after this long, and the test fails instead of hanging.
constexpr int StrayBoxMs = 5000;
// Transfer time limits run ten times faster, so a transfer that hangs fails within seconds.
constexpr int TestMsPerSecond = 100;

const auto name = [](int m) { return QString("E-%1").arg(m + 1); };

#define WAIT(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, WaitMs)

} // namespace

class TestEndToEnd : public QObject, WindowProbe
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void copyRunToTheEnd();
    void loadListDispatchAndRestore();

private:
    void startMachines(const QStringList &extra = {});
    QString storeFile(int m, const QString &f) const { return store->filePath(name(m) + '/' + f); }
    // The operator's files, in the test's own working folder.
    QString file(const QString &file) const { return QDir::current().absoluteFilePath(file); }
    QString cell(int m, const char *p, int c) const { return WindowProbe::cell(name(m), p, c); }
    void select(int m, const char *port) { WindowProbe::select(name(m), port); }
    // A widget of the machine's tab, found by the label the operator reads.
    template <typename T> T *inTab(int m, const char *object) const
    {
        auto *tabs = childNamed<QTabWidget>(window, "tabWidget");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == name(m))
                return childNamed<T>(tabs->widget(i), object);
        qFatal("no tab of machine %d", m);
    }
    QString tabLog(int m) const { return inTab<QTextBrowser>(m, "textBrowserLog")->toPlainText(); }
    QString load(int m, const char *port, bool full, const QString &fileName);

    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<QProcess> machines;
    std::unique_ptr<QTemporaryDir> store;
};

void TestEndToEnd::initTestCase()
{
    // Nothing of this test may announce the console on a real network.
    Server::setAddressEntrySource([] {
        QNetworkAddressEntry loopback;
        loopback.setIp(QHostAddress::LocalHost);
        loopback.setPrefixLength(8);
        return QList<QNetworkAddressEntry>{loopback};
    });
    TransferLimits::setMsPerSecond(TestMsPerSecond);
    para.restore();
}

void TestEndToEnd::init()
{
    store.reset(new QTemporaryDir);
    QVERIFY(store->isValid());
    answerer.reset(new ModalAnswerer);
    answerer->closeStrays(StrayBoxMs);
    para.tcpport = freePortPair();
    window = new MainWindow();
    window->show();
    QVERIFY(log().contains("The server is running on IP"));
}

void TestEndToEnd::cleanup()
{
    QVERIFY2(answerer->strays().isEmpty(),
             qPrintable("unanswered: " + answerer->strays().join(", ")));
    QVERIFY(!server()->isBusy() && !Client::isBusy());
    QCOMPARE(answerer->pending(), 0);
    if (machines) {
        machines->kill();
        machines->waitForFinished();
        const QByteArray said = machines->readAll();
        if (QTest::currentTestFailed())
            qWarning("tarn-machine said:\n%s", said.constData());
        // Under the sanitizers the machines report their own faults here.
        QVERIFY2(!said.contains("AddressSanitizer") && !said.contains("runtime error:"),
                 said.constData());
    }
    machines.reset();
    delete window;
    answerer.reset();
}

void TestEndToEnd::startMachines(const QStringList &extra)
{
    machines.reset(new QProcess);
    machines->setProcessChannelMode(QProcess::MergedChannels);
    machines->start(TARN_MACHINE_BIN, simulatedMachineArguments(para.tcpport, MachineCount, "E",
                                                                "127.0.0.2", "6M", store->path()) +
                                          extra);
    QVERIFY(machines->waitForStarted());
    // Every machine named, its source marked and its devices identified.
    for (int m = 0; m < MachineCount; ++m) {
        WAIT(cell(m, "SATA1", Client::IndexDisplayName) == "*SATA1");
        for (const char *port : {"SATA1", "SATA2", "SATA3"})
            WAIT(!cell(m, port, Client::IndexCapacity).isEmpty());
    }
    QCOMPARE(server()->clients().size(), MachineCount);
}

// Selects one device row alone and loads it into the named file; the path written.
QString TestEndToEnd::load(int m, const char *port, bool full, const QString &fileName)
{
    WindowProbe::select(name(m), port, true);
    answerer->chooseFile(file(fileName));
    action(full ? "actionFullLoad" : "actionBriefLoad")->trigger();
    tree()->selectionModel()->clearSelection();
    return file(fileName);
}

void TestEndToEnd::copyRunToTheEnd()
{
    startMachines({"--fail-rate", "0.5"});
    action("actionCopy")->trigger();
    QVERIFY(log().contains("Send COPY Command"));
    for (int m = 0; m < MachineCount; ++m) {
        WAIT(log().contains(name(m) + " complete COPY: "));
        QVERIFY(log().contains(name(m) + " start COPY.") &&
                cell(m, nullptr, Client::IndexStatus).isEmpty());
        int passed[2] = {0, 0};
        for (const char *port : {"SATA2", "SATA3"}) {
            const QString status = cell(m, port, Client::IndexStatus);
            const QString percent = cell(m, port, Client::IndexPercentage);
            const bool ok = status == "OK";
            ++passed[ok];
            QVERIFY2(ok ? percent == "100%"
                        : status == "NG" && percent.endsWith('%') &&
                              percent.chopped(1).toInt() < 100,
                     qPrintable(status + percent));
            QVERIFY(tabLog(m).contains(
                QString("%1 %2 %3").arg(port, cell(m, port, Client::IndexAccessName), status)));
        }
        QVERIFY(log().contains(
            QString("%1 complete COPY: %2 OK, %3 NG").arg(name(m)).arg(passed[1]).arg(passed[0])));
        // One run log per machine, holding what its log tab shows.
        const QStringList logs = QDir::current().entryList({name(m) + "-*.txt"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QVERIFY(tabLog(m).startsWith("Start COPY"));
        QCOMPARE(fileBytes(logs[0]), QTextCodec::codecForLocale()->fromUnicode(tabLog(m)));
    }
    // The seed gives both outcomes; a change of the machines' draw shows here.
    QVERIFY(log().contains(QRegularExpression("COPY: [12] OK")) &&
            log().contains(QRegularExpression("OK, [12] NG")));
}

// Loads byte-exact from two machines, the stored files listed, and a loaded image dispatched to
// every machine. Then device rows chosen on two machines: only those two take the stream, each
// writing it onto its chosen device as a run of its own.
void TestEndToEnd::loadListDispatchAndRestore()
{
    // Every machine holds shared.img; only the first holds first.img.
    for (int m = 0; m < MachineCount; ++m)
        QVERIFY(writeFileBytes(storeFile(m, "shared.img"), "x"));
    QVERIFY(writeFileBytes(storeFile(0, "first.img"), "x"));
    startMachines();

    // The name chosen without extension is stored with ".img".
    const QString brief = load(0, "SATA1", false, "brief") + ".img";
    QVERIFY(log().contains("load image has succeed") && log().contains("Device found : *SATA1 "));
    QCOMPARE(fileBytes(brief), simulatedDeviceImage(name(0), "SATA1", Sectors, false));
    const QString full = load(2, "SATA2", true, "full.img");
    QCOMPARE(fileBytes(full), simulatedDeviceImage(name(2), "SATA2", Sectors, true));
    QVERIFY(!log().contains("failed"));

    action("actionReflash_Files")->trigger();
    auto *list = childNamed<QListWidget>(window, "listWidgetFiles");
    for (int m = 0; m < MachineCount; ++m)
        WAIT(inTab<QListWidget>(m, "listWidget")->count() == (m == 0 ? 2 : 1));
    // The list keeps the names that every machine reported.
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QString("shared.img"));
    QCOMPARE(inTab<QListWidget>(0, "listWidget")->item(0)->text(), QString("first.img"));

    // Nothing selected: the operator agrees to all machines, stores the file as an image.
    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(brief);
    answerer->pressButtonText("Restore to Image");
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();
    QCOMPARE(answerer->seen().size(), 6); // two loads, then the dispatch's four
    QVERIFY(!log().contains("Fails dispatching"));
    for (int m = 0; m < MachineCount; ++m) {
        WAIT(QFileInfo::exists(storeFile(m, "brief.img")));
        QCOMPARE(fileBytes(storeFile(m, "brief.img")), fileBytes(brief));
    }

    // The dispatch to all machines leaves every row selected.
    tree()->selectionModel()->clearSelection();
    const QString image = file("device.img");
    QVERIFY(writeFileBytes(image, simulatedDeviceImage(name(2), "SATA1", Sectors, false)));
    select(0, "SATA2");
    select(1, "SATA3");
    answerer->chooseFile(image);
    answerer->pressButtonText("Restore");
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();
    QCOMPARE(answerer->seen().size(), 9);
    QVERIFY(!log().contains("Fails dispatching"));
    for (int m = 0; m < 2; ++m) {
        WAIT(log().contains(name(m) + " complete RESTORE: 1 OK, 0 NG"));
        const char *port = m == 0 ? "SATA2" : "SATA3";
        QCOMPARE(cell(m, port, Client::IndexStatus), QString("OK"));
        QCOMPARE(cell(m, port, Client::IndexPercentage), QString("100%"));
    }
    QVERIFY(!log().contains(name(2) + " start RESTORE"));
}

TARN_TEST_MAIN(TestEndToEnd)

#include "tst_e2e.moc"
