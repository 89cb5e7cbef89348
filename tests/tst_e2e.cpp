#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
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
// Devices big enough that a stop lands well before the end of the transfer.
constexpr qint64 LargeSectors = 32 * 1024 * 1024 / SectorSize;
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
    void stopDuringRunAndTransfers();

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
    void stopAtFirstProgress();

    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<QProcess> machines;
    std::unique_ptr<QTemporaryDir> store;
    QMetaObject::Connection stopConnection;
    bool busyWhenStopped = false;
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
    busyWhenStopped = false;
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
    // An empty name cancels the file dialog.
    answerer->chooseFile(fileName.isEmpty() ? QString() : file(fileName));
    action(full ? "actionFullLoad" : "actionBriefLoad")->trigger();
    tree()->selectionModel()->clearSelection();
    return file(fileName);
}

// The operator presses Stop as soon as the transfer shows progress.
void TestEndToEnd::stopAtFirstProgress()
{
    QAction *stop = action("actionAbort");
    stopConnection =
        connect(server(), &Server::transferProgress, this, [this, stop](qint64 done, qint64 total) {
            // Once the table has told the size, early in the data.
            if (total <= 0 || done >= total / 2)
                return;
            disconnect(stopConnection);
            busyWhenStopped = server()->isBusy() || Client::isBusy();
            // As a click does: from the event loop the transfer turns.
            QTimer::singleShot(0, stop, &QAction::trigger);
        });
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
        QVERIFY2(QRegularExpression("^E-\\d-\\d{4}(-\\d\\d){5}\\.txt$").match(logs[0]).hasMatch(),
                 qPrintable(logs[0]));
        QVERIFY(tabLog(m).startsWith("Start COPY"));
        QCOMPARE(fileBytes(logs[0]), QTextCodec::codecForLocale()->fromUnicode(tabLog(m)));
    }
    // The seed gives both outcomes; a change of the machines' draw shows here.
    QVERIFY(log().contains(QRegularExpression("COPY: [12] OK")) &&
            log().contains(QRegularExpression("OK, [12] NG")));
}

// Loads byte-exact from two machines, the stored files listed, and a loaded image dispatched to
// every machine. Then device rows chosen on two machines: only those two take the stream, each
// writing it onto its chosen device as a run of its own. Then firmware goes to every machine.
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
    tree()->selectionModel()->clearSelection();

    // Not a whole number of sectors: the stream fills the last one.
    constexpr int FirmwareBytes = 3 * SectorSize + 100;
    const QByteArray firmware =
        simulatedDeviceImage(name(0), "SATA1", Sectors, true).right(FirmwareBytes);
    QVERIFY(writeFileBytes(file("k31update_e2e.bin"), firmware));
    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(file("k31update_e2e.bin"));
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();
    QCOMPARE(answerer->seen().size(), 12);
    QVERIFY(!log().contains("Fails dispatching"));
    const QByteArray stream = ImageHead::built(0).encoded() +
                              SStripInLogDiskMy::run(0, 4).encoded() +
                              SStripInLogDiskMy::end(4, 4).encoded() + firmware +
                              QByteArray(4 * SectorSize - FirmwareBytes, '\0');
    for (int m = 0; m < MachineCount; ++m) {
        QVERIFY(!QFileInfo::exists(storeFile(m, "device.img")));
        WAIT(tabLog(m).contains("firmware k31update_e2e.bin received"));
        QCOMPARE(fileBytes(storeFile(m, "k31update_e2e.bin")), stream);
    }
}

// Stop pressed during a run, then during a dispatch, then during a load: each ends as stopped or
// failed, nothing stays busy.
void TestEndToEnd::stopDuringRunAndTransfers()
{
    startMachines({"--run-time", "60", "--capacity", "32M"});
    action("actionCopy")->trigger();
    WAIT(!cell(0, "SATA2", Client::IndexPercentage).isEmpty());
    action("actionAbort")->trigger();
    QVERIFY(log().contains("Abort button is pressed!"));
    for (int m = 0; m < MachineCount; ++m) {
        WAIT(log().contains(name(m) + " ask for termination (stopped by operator)!") &&
             log().contains(name(m) + " complete COPY stopped: 0 OK, 0 NG"));
        QCOMPARE(cell(m, nullptr, Client::IndexStatus), QString());
        for (const char *port : {"SATA2", "SATA3"}) {
            QCOMPARE(cell(m, port, Client::IndexStatus), QString("STOPPED"));
            QVERIFY(cell(m, port, Client::IndexPercentage) != "100%");
        }
        QVERIFY(tabLog(m).contains("Ask for terminate!"));
    }
    for (Client *client : server()->clients())
        QVERIFY(client->stopRequested());
    QVERIFY(!server()->stopRequested());
    QCOMPARE(server()->clients().size(), MachineCount);

    const QString big = file("big.img");
    QVERIFY(writeFileBytes(big, simulatedDeviceImage(name(0), "SATA1", LargeSectors, true)));
    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(big);
    answerer->pressButtonText("Restore to Image");
    answerer->pressButton(QMessageBox::Yes);
    answerer->pressButton(QMessageBox::Ok); // the failure box
    stopAtFirstProgress();
    action("actionUpload")->trigger();
    const QString failure = QString("Fails dispatching image %1!\nProcess terminate!\n").arg(big);
    QCOMPARE(answerer->seen().size(), 5);
    QCOMPARE(answerer->last().title, QString("Dispatch image"));
    QCOMPARE(answerer->last().text, failure);
    QVERIFY(busyWhenStopped);
    QVERIFY(log().contains("send image process is terminated!") &&
            log().contains(failure.trimmed()));
    QVERIFY(!server()->isBusy() && !server()->stopRequested());
    // No machine keeps a file that did not arrive whole.
    for (int m = 0; m < MachineCount; ++m)
        WAIT(tabLog(m).contains("dispatch of big.img failed") &&
             !QFileInfo::exists(storeFile(m, "big.img")));

    busyWhenStopped = false;
    stopAtFirstProgress();
    const int from = log().size();
    const QString stopped = load(1, "SATA2", true, "stopped.img");
    QVERIFY(busyWhenStopped);
    const QString said = log().mid(from);
    QVERIFY(said.contains("load image has failed!") && !said.contains("load image has succeed"));
    QVERIFY(!Client::isBusy());
    // The machine that was loading is ready for the next load; the others keep the stop.
    for (Client *client : server()->clients())
        QCOMPARE(client->stopRequested(), client->address != "127.0.0.3");
    // What arrived stays on disk as it came.
    const QByteArray partial = fileBytes(stopped);
    const QByteArray whole = simulatedDeviceImage(name(1), "SATA2", LargeSectors, true);
    QVERIFY(partial.size() > ImageHead::Size && partial.size() < whole.size());
    QVERIFY(whole.startsWith(partial));

    // Nothing stays busy: the next load goes through.
    const QString next = load(1, "SATA1", false, "next.img");
    QVERIFY(log().contains("load image has succeed"));
    QCOMPARE(fileBytes(next), simulatedDeviceImage(name(1), "SATA1", LargeSectors, false));
}

TARN_TEST_MAIN(TestEndToEnd)

#include "tst_e2e.moc"
