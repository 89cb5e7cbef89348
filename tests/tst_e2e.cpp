#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "image/imagefile.h"
#include "image/stripinlogdisk.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/simulatedmachines.h"
#include "testkit/testenv.h"
#include "testkit/windowprobe.h"
#include "transfer/transferlimits.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QNetworkAddressEntry>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextCodec>
#include <QTreeView>

#include <memory>

// The console in this process, driven through its window as an operator drives it, against
// simulated machines in a tarn-machine process on loopback.

namespace {

constexpr int MachineCount = 3;
const char *const NamePrefix = "E";
const char *const FirstAddress = "127.0.0.2";
// Small devices keep every transfer short; 6 MiB still spans several transfer blocks.
const char *const Capacity = "6M";
constexpr qint64 CapacitySectors = 6 * 1024 * 1024 / SectorSize;
// Devices big enough that a stop lands well before the end of the transfer.
const char *const LargeCapacity = "32M";
constexpr qint64 LargeCapacitySectors = 32 * 1024 * 1024 / SectorSize;

constexpr quint16 LowestBase = 20000;
constexpr quint16 HighestBase = 60000;
constexpr int PortAttempts = 50;
constexpr int ConnectWaitMs = 20000;
constexpr int RunWaitMs = 30000;
constexpr int TransferWaitMs = 30000;
// A box that nothing answers is closed after this long, and the test fails instead of hanging.
constexpr int StrayBoxMs = 5000;
// Transfer time limits run ten times faster, so a transfer that hangs fails within seconds.
constexpr int TestMsPerSecond = 100;

const char *const RestoreToImage = "Restore to Image";
const char *const StoppedByOperator = "stopped by operator";

QString machineName(int index)
{
    return QString("%1-%2").arg(QLatin1String(NamePrefix)).arg(index + 1);
}

QString machineAddress(int index)
{
    return QHostAddress(QHostAddress(QLatin1String(FirstAddress)).toIPv4Address() + index)
        .toString();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void copyRunToTheEnd();
    void loadIsByteExact_data();
    void loadIsByteExact();
    void refreshFilesAndUpload();
    void dispatchLoadedImageToThreeMachines();
    void restoreOntoChosenDevices();
    void firmwareDispatch();
    void stopDuringRun();
    void stopDuringLoad();
    void stopDuringDispatch();

private:
    void openConsole();
    void startMachines(const QStringList &extra = {});
    QString storeFile(int machine, const QString &name) const;

    QAction *action(const char *name) const { return childNamed<QAction>(window, name); }
    Server *server() const { return window->findChild<Server *>(); }
    QTreeView *tree() const { return childNamed<QTreeView>(window, "treeView"); }
    QString globalLog() const
    {
        return childNamed<QTextBrowser>(window, "logGlobal")->toPlainText();
    }
    QModelIndex machineRow(int machine) const;
    QModelIndex deviceRow(int machine, const QString &port) const;
    QString cell(const QModelIndex &row, int column) const { return cellText(row, column); }
    void selectRow(const QModelIndex &row);
    template <typename T> T *inTab(int machine, const char *name) const;
    QString machineLog(int machine) const;
    QString load(int machine, const QString &port, bool full, const QString &fileName);
    void stopAtFirstProgress();

    QPointer<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<QProcess> machines;
    std::unique_ptr<QTemporaryDir> store;
    std::unique_ptr<QTemporaryDir> files;
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
    files.reset(new QTemporaryDir);
    QVERIFY(store->isValid() && files->isValid());
    answerer.reset(new ModalAnswerer);
    answerer->closeStrays(StrayBoxMs);
    busyWhenStopped = false;
    openConsole();
}

void TestEndToEnd::cleanup()
{
    QVERIFY2(answerer->strays().isEmpty(),
             qPrintable("unanswered: " + answerer->strays().join(", ")));
    if (window) {
        QVERIFY(!server()->isBusy());
        QVERIFY(!Client::isBusy());
        QCOMPARE(answerer->pending(), 0);
    }
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
    store.reset();
    files.reset();
}

// A random command port whose transfer port is free too; the console must be listening on it.
void TestEndToEnd::openConsole()
{
    for (int attempt = 0; attempt < PortAttempts; ++attempt) {
        const auto base =
            static_cast<quint16>(QRandomGenerator::global()->bounded(LowestBase, HighestBase));
        {
            QTcpServer command;
            QTcpServer transfer;
            if (!command.listen(QHostAddress::Any, base) ||
                !transfer.listen(QHostAddress::Any, base + 1))
                continue;
        }
        para.tcpport = base;
        window = new MainWindow();
        window->show();
        if (globalLog().contains("The server is running on IP"))
            return;
        delete window; // someone took the port in between
    }
    QFAIL("no free pair of loopback ports for the console");
}

void TestEndToEnd::startMachines(const QStringList &extra)
{
    machines.reset(new QProcess);
    machines->setProcessChannelMode(QProcess::MergedChannels);
    machines->start(QStringLiteral(TARN_MACHINE_BIN),
                    simulatedMachineArguments(para.tcpport, MachineCount, NamePrefix, FirstAddress,
                                              Capacity, store->path()) +
                        extra);
    QVERIFY(machines->waitForStarted());
    // Every machine named, its source marked and its devices identified.
    for (int m = 0; m < MachineCount; ++m) {
        QTRY_VERIFY_WITH_TIMEOUT(machineRow(m).isValid(), ConnectWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(cell(deviceRow(m, "SATA1"), Client::IndexDisplayName),
                                  QString("*SATA1"), ConnectWaitMs);
        for (const char *port : {"SATA1", "SATA2", "SATA3"})
            QTRY_VERIFY_WITH_TIMEOUT(!cell(deviceRow(m, port), Client::IndexCapacity).isEmpty(),
                                     ConnectWaitMs);
    }
    QCOMPARE(server()->clients().size(), MachineCount);
}

QString TestEndToEnd::storeFile(int machine, const QString &name) const
{
    return QDir(store->path()).filePath(machineName(machine) + QLatin1Char('/') + name);
}

QModelIndex TestEndToEnd::machineRow(int machine) const
{
    return machineRowNamed(tree()->model(), machineName(machine));
}

QModelIndex TestEndToEnd::deviceRow(int machine, const QString &port) const
{
    return portRowNamed(machineRow(machine), port);
}

void TestEndToEnd::selectRow(const QModelIndex &row)
{
    QVERIFY(row.isValid());
    tree()->selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// A widget of the machine's tab, found by the label the operator reads.
template <typename T> T *TestEndToEnd::inTab(int machine, const char *name) const
{
    auto *tabs = childNamed<QTabWidget>(window, "tabWidget");
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == machineName(machine))
            return childNamed<T>(tabs->widget(i), name);
    qFatal("no tab of machine %d", machine);
    return nullptr;
}

QString TestEndToEnd::machineLog(int machine) const
{
    return inTab<QTextBrowser>(machine, "textBrowserLog")->toPlainText();
}

// Selects one device row alone and loads it into the named file; the path written.
QString TestEndToEnd::load(int machine, const QString &port, bool full, const QString &fileName)
{
    tree()->selectionModel()->clearSelection();
    selectRow(deviceRow(machine, port));
    // An empty name cancels the file dialog.
    const QString path = fileName.isEmpty() ? QString() : QDir(files->path()).filePath(fileName);
    answerer->chooseFile(path);
    action(full ? "actionFullLoad" : "actionBriefLoad")->trigger();
    tree()->selectionModel()->clearSelection();
    return path;
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
    const QStringList before = QDir::current().entryList({"*.txt"}, QDir::Files);
    startMachines({"--fail-rate", "0.5"});

    action("actionCopy")->trigger();
    QVERIFY(globalLog().contains("Send COPY Command"));
    for (int m = 0; m < MachineCount; ++m)
        QTRY_VERIFY_WITH_TIMEOUT(globalLog().contains(machineName(m) + " complete COPY: "),
                                 RunWaitMs);

    int passed = 0;
    int failed = 0;
    for (int m = 0; m < MachineCount; ++m) {
        const QString name = machineName(m);
        QVERIFY(globalLog().contains(name + " start COPY."));
        QCOMPARE(cell(machineRow(m), Client::IndexStatus), QString());
        int machinePassed = 0;
        int machineFailed = 0;
        for (const char *port : {"SATA2", "SATA3"}) {
            const QModelIndex row = deviceRow(m, port);
            const QString status = cell(row, Client::IndexStatus);
            const QString percent = cell(row, Client::IndexPercentage);
            const bool ok = status == "OK";
            QVERIFY(ok || status == "NG");
            ++(ok ? machinePassed : machineFailed);
            QVERIFY2(ok ? percent == "100%"
                        : percent.endsWith('%') && percent.chopped(1).toInt() < 100,
                     qPrintable(percent));
            QVERIFY(machineLog(m).contains(
                QString("%1 %2 %3").arg(port, cell(row, Client::IndexAccessName), status)));
        }
        QVERIFY(globalLog().contains(QString("%1 complete COPY: %2 OK, %3 NG")
                                         .arg(name)
                                         .arg(machinePassed)
                                         .arg(machineFailed)));
        passed += machinePassed;
        failed += machineFailed;

        // One run log per machine, holding what its log tab shows.
        QStringList logs = QDir::current().entryList({name + "-*.txt"}, QDir::Files);
        for (const QString &old : before)
            logs.removeAll(old);
        QCOMPARE(logs.size(), 1);
        const QRegularExpression form(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(name) + "-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.txt"));
        QVERIFY2(form.match(logs.first()).hasMatch(), qPrintable(logs.first()));
        const QString shown = machineLog(m);
        QVERIFY(shown.startsWith("Start COPY"));
        QCOMPARE(fileBytes(logs.first()), QTextCodec::codecForLocale()->fromUnicode(shown));
    }
    // The seed gives both outcomes; a change of the machines' draw shows here.
    QVERIFY2(passed > 0 && failed > 0, qPrintable(QString("%1 OK, %2 NG").arg(passed).arg(failed)));
}

void TestEndToEnd::loadIsByteExact_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("machine");
    QTest::addColumn<QString>("port");

    QTest::newRow("brief, source device") << false << 0 << "SATA1";
    QTest::newRow("full") << true << 2 << "SATA2";
}

void TestEndToEnd::loadIsByteExact()
{
    QFETCH(bool, full);
    QFETCH(int, machine);
    QFETCH(QString, port);

    startMachines();
    // The name chosen without extension is stored with ".img".
    const QString path = load(machine, port, full, "loaded");
    QVERIFY(globalLog().contains("load image has succeed"));
    QVERIFY(!globalLog().contains("failed"));
    const QString shown = cell(deviceRow(machine, port), Client::IndexDisplayName);
    QVERIFY(globalLog().contains(QString("Device found : %1 ").arg(shown)));
    QCOMPARE(fileBytes(path + ".img"),
             simulatedDeviceImage(machineName(machine), port, CapacitySectors, full));
}

void TestEndToEnd::refreshFilesAndUpload()
{
    // Every machine holds shared.img, each its own; only the first holds first.img.
    QVector<QByteArray> shared;
    for (int m = 0; m < MachineCount; ++m) {
        shared << simulatedDeviceImage(machineName(m), "stored", CapacitySectors, false);
        QVERIFY(writeFileBytes(storeFile(m, "shared.img"), shared.last()));
    }
    QVERIFY(writeFileBytes(storeFile(0, "first.img"), shared.first()));
    startMachines();

    action("actionReflash_Files")->trigger();
    auto *list = childNamed<QListWidget>(window, "listWidgetFiles");
    for (int m = 0; m < MachineCount; ++m)
        QTRY_COMPARE_WITH_TIMEOUT(inTab<QListWidget>(m, "listWidget")->count(), m == 0 ? 2 : 1,
                                  ConnectWaitMs);
    // The list keeps the names that every machine reported.
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QString("shared.img"));
    QCOMPARE(inTab<QListWidget>(0, "listWidget")->item(0)->text(), QString("first.img"));

    // Upload from the second machine, chosen by one of its devices.
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    selectRow(deviceRow(1, "SATA2"));
    const QString path = QDir(files->path()).filePath("uploaded.img");
    answerer->chooseFile(path);
    childNamed<QDialogButtonBox>(window, "buttonBox")->button(QDialogButtonBox::Save)->click();
    QVERIFY(globalLog().contains("load image file has succeed"));
    QCOMPARE(fileBytes(path), shared.at(1));
    QCOMPARE(fileBytes(path), fileBytes(storeFile(1, "shared.img")));
}

void TestEndToEnd::dispatchLoadedImageToThreeMachines()
{
    startMachines();
    const QString path = load(0, "SATA2", false, "restore.img");
    const QByteArray loaded = fileBytes(path);
    QCOMPARE(loaded, simulatedDeviceImage(machineName(0), "SATA2", CapacitySectors, false));

    // Nothing selected: the operator agrees to all machines, stores the file as an image.
    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(path);
    answerer->pressButtonText(QLatin1String(RestoreToImage));
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();

    const QList<ModalAnswerer::Seen> seen = answerer->seen();
    QCOMPARE(seen.size(), 5); // the save dialog of the load first
    QCOMPARE(seen.at(1).title, QString("Ask Range"));
    QCOMPARE(seen.at(3).text, QString("Writting Method"));
    QCOMPARE(seen.at(4).text, QString("Restore image file %1 to  \nAre you sure?").arg(path));
    QVERIFY(!globalLog().contains("Fails dispatching"));
    for (int m = 0; m < MachineCount; ++m) {
        QVERIFY(globalLog().contains(
            QString("Ask client %1 for sending file restore.img,capacity %2, method image")
                .arg(machineAddress(m))
                .arg(CapacitySectors)));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(storeFile(m, "restore.img")), TransferWaitMs);
        QCOMPARE(fileBytes(storeFile(m, "restore.img")), loaded);
    }
}

// Device rows chosen on two machines: only those two machines take the stream, each writing it
// onto its chosen device as a run of its own.
void TestEndToEnd::restoreOntoChosenDevices()
{
    startMachines();
    const QString path = QDir(files->path()).filePath("device.img");
    QVERIFY(writeFileBytes(path,
                           simulatedDeviceImage(machineName(2), "SATA1", CapacitySectors, false)));

    selectRow(deviceRow(0, "SATA2"));
    selectRow(deviceRow(1, "SATA3"));
    answerer->chooseFile(path);
    answerer->pressButtonText("Restore");
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();

    QCOMPARE(answerer->seen().size(), 3);
    QCOMPARE(answerer->seen().at(2).text,
             QString("Restore from %1 to \nE-1|SATA2\nE-2|SATA3\n Are you sure?").arg(path));
    QVERIFY(!globalLog().contains("Fails dispatching"));
    for (const auto &target : QVector<QPair<int, QString>>{{0, "SATA2"}, {1, "SATA3"}}) {
        QTRY_VERIFY_WITH_TIMEOUT(
            globalLog().contains(machineName(target.first) + " complete RESTORE: 1 OK, 0 NG"),
            TransferWaitMs);
        const QModelIndex row = deviceRow(target.first, target.second);
        QCOMPARE(cell(row, Client::IndexStatus), QString("OK"));
        QCOMPARE(cell(row, Client::IndexPercentage), QString("100%"));
    }
    QVERIFY(!globalLog().contains(machineName(2) + " start RESTORE"));
    for (int m = 0; m < MachineCount; ++m)
        QVERIFY(!QFileInfo::exists(storeFile(m, "device.img")));
}

void TestEndToEnd::firmwareDispatch()
{
    startMachines();
    // Not a whole number of sectors: the stream fills the last one.
    constexpr int FirmwareBytes = 3 * SectorSize + 100;
    QByteArray firmware(FirmwareBytes, Qt::Uninitialized);
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<char>(i * 7 + 3);
    const QString path = QDir(files->path()).filePath("k31update_e2e.bin");
    QVERIFY(writeFileBytes(path, firmware));

    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(path);
    answerer->pressButton(QMessageBox::Yes);
    action("actionUpload")->trigger();

    QCOMPARE(answerer->seen().size(), 3);
    QCOMPARE(answerer->seen().at(2).text,
             QStringLiteral("The file you select will be sent overall devices and force firmware "
                            "upgrading! Are you sure?"));
    QVERIFY(!globalLog().contains("Fails dispatching"));
    QVERIFY(globalLog().contains(
        QString("Writing firmware, size %1 bytes, to client socket...").arg(FirmwareBytes)));

    const qint64 sectors = (FirmwareBytes + SectorSize - 1) / SectorSize;
    QByteArray stream = ImageHead::built(0).encoded();
    stream += SStripInLogDiskMy::run(0, sectors).encoded();
    stream += SStripInLogDiskMy::end(sectors, sectors).encoded();
    stream += firmware + QByteArray(int(sectors * SectorSize - FirmwareBytes), '\0');
    for (int m = 0; m < MachineCount; ++m) {
        QVERIFY(globalLog().contains(QStringLiteral("Ask client %1 for sending file "
                                                    "k31update_e2e.bin,capacity %2, method image")
                                         .arg(machineAddress(m))
                                         .arg(sectors)));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(storeFile(m, "k31update_e2e.bin")),
                                 TransferWaitMs);
        QCOMPARE(fileBytes(storeFile(m, "k31update_e2e.bin")), stream);
        QTRY_VERIFY_WITH_TIMEOUT(machineLog(m).contains(QStringLiteral("firmware k31update_e2e.bin "
                                                                       "received")),
                                 TransferWaitMs);
    }
}

void TestEndToEnd::stopDuringRun()
{
    startMachines({"--run-time", "60"});
    action("actionCopy")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!cell(deviceRow(0, "SATA2"), Client::IndexPercentage).isEmpty(),
                             RunWaitMs);

    action("actionAbort")->trigger();
    QVERIFY(globalLog().contains("Abort button is pressed!"));
    for (int m = 0; m < MachineCount; ++m) {
        const QString name = machineName(m);
        QVERIFY(
            globalLog().contains(QString("Client %1 is being asked stop!").arg(machineAddress(m))));
        QTRY_VERIFY_WITH_TIMEOUT(
            globalLog().contains(
                QString("%1 ask for termination (%2)!").arg(name, StoppedByOperator)),
            RunWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(globalLog().contains(name + " complete COPY stopped: 0 OK, 0 NG"),
                                 RunWaitMs);
        QCOMPARE(cell(machineRow(m), Client::IndexStatus), QString());
        for (const char *port : {"SATA2", "SATA3"}) {
            QCOMPARE(cell(deviceRow(m, port), Client::IndexStatus), QString("STOPPED"));
            QVERIFY(cell(deviceRow(m, port), Client::IndexPercentage) != QString("100%"));
        }
        QVERIFY(machineLog(m).contains("Ask for terminate!"));
    }
    for (Client *client : server()->clients())
        QVERIFY(client->stopRequested());
    QVERIFY(!server()->stopRequested());
    QCOMPARE(server()->clients().size(), MachineCount);
}

void TestEndToEnd::stopDuringLoad()
{
    startMachines({"--capacity", LargeCapacity});
    stopAtFirstProgress();
    const QString path = load(1, "SATA2", true, "stopped.img");

    QVERIFY(busyWhenStopped);
    const QString log = globalLog();
    QVERIFY(log.contains("Abort button is pressed!"));
    QVERIFY(log.contains("is terminated!"));
    QVERIFY(log.contains("load image has failed!"));
    QVERIFY(!log.contains("load image has succeed"));
    QVERIFY(!Client::isBusy());
    // The machine that was loading is ready for the next load; the others keep the stop.
    for (Client *client : server()->clients())
        QCOMPARE(client->stopRequested(), client->address != machineAddress(1));
    // What arrived stays on disk as it came.
    const QByteArray partial = fileBytes(path);
    const QByteArray whole =
        simulatedDeviceImage(machineName(1), "SATA2", LargeCapacitySectors, true);
    QVERIFY(partial.size() > ImageHead::Size);
    QVERIFY(partial.size() < whole.size());
    QVERIFY(whole.startsWith(partial));

    // Nothing stays busy: the next load goes through.
    const QString next = load(1, "SATA1", false, "next.img");
    QVERIFY(globalLog().contains("load image has succeed"));
    QCOMPARE(fileBytes(next),
             simulatedDeviceImage(machineName(1), "SATA1", LargeCapacitySectors, false));
}

void TestEndToEnd::stopDuringDispatch()
{
    startMachines({"--capacity", LargeCapacity});
    const QString path = QDir(files->path()).filePath("big.img");
    QVERIFY(writeFileBytes(
        path, simulatedDeviceImage(machineName(0), "SATA1", LargeCapacitySectors, true)));

    answerer->pressButton(QMessageBox::Ok);
    answerer->chooseFile(path);
    answerer->pressButtonText(QLatin1String(RestoreToImage));
    answerer->pressButton(QMessageBox::Yes);
    answerer->pressButton(QMessageBox::Ok); // the failure box
    stopAtFirstProgress();
    action("actionUpload")->trigger();

    const QString failure = QString("Fails dispatching image %1!\nProcess terminate!\n").arg(path);
    QCOMPARE(answerer->seen().size(), 5);
    QCOMPARE(answerer->seen().last().title, QString("Dispatch image"));
    QCOMPARE(answerer->seen().last().text, failure);
    QVERIFY(busyWhenStopped);
    const QString log = globalLog();
    QVERIFY(log.contains("Abort button is pressed!"));
    QVERIFY(log.contains("send image process is terminated!"));
    QVERIFY(log.contains(failure.trimmed()));
    QVERIFY(!server()->isBusy());
    QVERIFY(!server()->stopRequested());
    // No machine keeps a file that did not arrive whole.
    for (int m = 0; m < MachineCount; ++m)
        QTRY_VERIFY_WITH_TIMEOUT(machineLog(m).contains("dispatch of big.img failed"),
                                 TransferWaitMs);
    for (int m = 0; m < MachineCount; ++m)
        QVERIFY(!QFileInfo::exists(storeFile(m, "big.img")));

    // Nothing stays busy: a load starts and asks for its file.
    load(0, "SATA1", false, QString());
    QCOMPARE(answerer->seen().last().className, QString("QFileDialog"));
}

TARN_TEST_MAIN(TestEndToEnd)

#include "tst_e2e.moc"
