#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListView>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QTreeView>
#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "server/server.h"
#include "server/transferlimits.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"
#include "ui/mainwindow.h"

namespace {
const char *const NotConnected = "Please press the Connection button to connect the machine.!";
const char *const SelectAnyDevice = "Please select any one Device!";
const char *const Busy = "server is busy!";
constexpr int WaitMs = 10000;
// Time limits shrink to 0.4%: a load that nobody serves gives up within about a second.
constexpr int TestMsPerSecond = 4;

// A command port whose transfer port (+1) is free too.
quint16 freePortPair()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint16 base =
            static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(40000));
        QTcpServer command;
        QTcpServer transfer;
        if (command.listen(QHostAddress::Any, base) && transfer.listen(QHostAddress::Any, base + 1))
            return base;
    }
    return 0;
}

enum Trigger
{
    BriefLoad,
    FullLoad,
    Dispatch,
    RefreshFiles,
    ApplyButton,
    UploadButton
};
} // namespace

class TestWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusalsWithoutMachines_data();
    void refusalsWithoutMachines();
    void filesTabRuleWithMachineTabs();
    void fileListAnswers();

    void loadRefusalsWithMachines();
    void oneDeviceLoadsWithoutDialog_data();
    void oneDeviceLoadsWithoutDialog();
    void severalDevicesAskWhichOne_data();
    void severalDevicesAskWhichOne();
    void busyConsoleRefusesTransfersAndClose();

    void buttonBoxRefusals_data();
    void buttonBoxRefusals();
    void applyNamesTheFileOnEveryMachine();
    void uploadFindsTheSourceDevice();
    void uploadRefusesWithoutDevice();

    void dispatchAsksRangeWhenNothingSelected_data();
    void dispatchAsksRangeWhenNothingSelected();
    void dispatchHandsChosenDevicesOver();
    void refreshFilesAsksEveryMachine();

private:
    void trigger(Trigger what);
    ScriptedPeer *addMachine(const QString &name, const QStringList &ports);
    // Machine M1 with devices S1 and S2, S2 marked as its source.
    ScriptedPeer *addMachineWithSource();
    QModelIndex rowOf(const QString &rowPath);
    void select(const QStringList &rowPaths);
    void setFileList(ScriptedPeer *peer, const QString &files, int entries);
    void selectFile(const QString &name);
    QString logText() const
    {
        return window->findChild<QTextBrowser *>("logGlobal")->toPlainText();
    }
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>("tabWidget"); }
    QTreeView *tree() const { return window->findChild<QTreeView *>("treeView"); }
    QListWidget *files() const { return window->findChild<QListWidget *>("listWidgetFiles"); }
    Server *server() const { return window->findChild<Server *>(); }

    QPointer<MainWindow> window;
    QList<ScriptedPeer *> peers;
    QTemporaryDir workDir;
};

void TestWorkflows::initTestCase()
{
    Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
    TransferLimits::setMsPerSecond(TestMsPerSecond);
    para.save(Para::paraDefault);
    QVERIFY(workDir.isValid());
}

void TestWorkflows::init()
{
    const quint16 port = freePortPair();
    QVERIFY(port);
    para.tcpport = port;
    window = new MainWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestWorkflows::cleanup()
{
    delete window;
    qDeleteAll(peers);
    peers.clear();
    QTRY_VERIFY(!Client::isBusy());
}

void TestWorkflows::trigger(Trigger what)
{
    auto *buttons = window->findChild<QDialogButtonBox *>("buttonBox");
    switch (what) {
    case BriefLoad:
        window->findChild<QAction *>("actionBriefLoad")->trigger();
        break;
    case FullLoad:
        window->findChild<QAction *>("actionFullLoad")->trigger();
        break;
    case Dispatch:
        window->findChild<QAction *>("actionUpload")->trigger();
        break;
    case RefreshFiles:
        window->findChild<QAction *>("actionReflash_Files")->trigger();
        break;
    case ApplyButton:
        buttons->button(QDialogButtonBox::Apply)->click();
        break;
    case UploadButton:
        buttons->button(QDialogButtonBox::Save)->click();
        break;
    }
}

ScriptedPeer *TestWorkflows::addMachine(const QString &name, const QStringList &ports)
{
    auto *peer = new ScriptedPeer();
    peers << peer;
    if (!peer->connectTo(QHostAddress::LocalHost, static_cast<quint16>(para.tcpport)))
        return nullptr;
    peer->sendLine(QStringLiteral("&M %1|Model|Vendor|1.0|%2|%3|END")
                       .arg(name)
                       .arg(ports.size())
                       .arg(ports.join('|')));
    const bool shown = ScriptedPeer::waitUntil(
        [&] {
            QAbstractItemModel *model = tree()->model();
            for (int row = 0; row < model->rowCount(); ++row) {
                const QModelIndex machine = model->index(row, 0);
                if (machine.data().toString() == name)
                    return model->rowCount(machine) == ports.size();
            }
            return false;
        },
        WaitMs);
    return shown ? peer : nullptr;
}

ScriptedPeer *TestWorkflows::addMachineWithSource()
{
    ScriptedPeer *peer = addMachine("M1", {"S1", "S2"});
    if (!peer)
        return nullptr;
    peer->sendLines({"&N", "source=S2", "Settings End"});
    return ScriptedPeer::waitUntil([this] { return rowOf("M1/*S2").isValid(); }, WaitMs) ? peer
                                                                                         : nullptr;
}

// "M1" names a machine row, "M1/S2" a device row (its text as shown, source mark included).
QModelIndex TestWorkflows::rowOf(const QString &rowPath)
{
    QAbstractItemModel *model = tree()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex machine = model->index(row, 0);
        if (machine.data().toString() != rowPath.section('/', 0, 0))
            continue;
        if (!rowPath.contains('/'))
            return machine;
        for (int child = 0; child < model->rowCount(machine); ++child) {
            const QModelIndex device = model->index(child, 0, machine);
            if (device.data().toString() == rowPath.section('/', 1))
                return device;
        }
    }
    return {};
}

void TestWorkflows::select(const QStringList &rowPaths)
{
    QItemSelectionModel *selection = tree()->selectionModel();
    selection->clearSelection();
    for (const QString &rowPath : rowPaths) {
        const QModelIndex index = rowOf(rowPath);
        QVERIFY2(index.isValid(), qPrintable(rowPath));
        selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void TestWorkflows::setFileList(ScriptedPeer *peer, const QString &fileList, int entries)
{
    peer->sendLine(QStringLiteral("&R ") + fileList);
    QTRY_COMPARE(files()->count(), entries);
}

void TestWorkflows::selectFile(const QString &name)
{
    files()->clearSelection();
    const QList<QListWidgetItem *> found = files()->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    found.first()->setSelected(true);
}

void TestWorkflows::refusalsWithoutMachines_data()
{
    QTest::addColumn<int>("what");
    QTest::newRow("BRIEF LOAD") << int(BriefLoad);
    QTest::newRow("FULL LOAD") << int(FullLoad);
    QTest::newRow("dispatch") << int(Dispatch);
    QTest::newRow("Refresh files") << int(RefreshFiles);
    QTest::newRow("Apply") << int(ApplyButton);
    QTest::newRow("Upload") << int(UploadButton);
}

void TestWorkflows::refusalsWithoutMachines()
{
    QFETCH(int, what);
    // Action enabled at start, nothing connected: each one refuses and points at Connection.
    tabs()->setCurrentIndex(2);
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    trigger(Trigger(what));
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().title, QStringLiteral("Error"));
    QCOMPARE(answerer.last().text, QString::fromLatin1(NotConnected));
    QCOMPARE(answerer.last().buttons, QStringList{"OK"});
    // Only three tabs: the first is shown.
    QCOMPARE(tabs()->currentIndex(), 0);
}

void TestWorkflows::filesTabRuleWithMachineTabs()
{
    // Stand-ins for machine tabs, where machines put theirs.
    tabs()->insertTab(1, new QWidget(), "A");
    tabs()->insertTab(1, new QWidget(), "B");
    QCOMPARE(tabs()->count(), 5);
    for (Trigger what : {RefreshFiles, ApplyButton, UploadButton}) {
        tabs()->setCurrentIndex(0);
        ModalAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        trigger(what);
        QCOMPARE(answerer.last().text, QString::fromLatin1(NotConnected));
        QCOMPARE(tabs()->currentIndex(), 4);
        QCOMPARE(tabs()->currentWidget()->objectName(), QStringLiteral("tabFiles"));
    }
}

void TestWorkflows::fileListAnswers()
{
    auto answer = [this](QString text) {
        emit server()->reflashFiles(text);
        QStringList shown;
        for (int row = 0; row < files()->count(); ++row)
            shown << files()->item(row)->text();
        return shown;
    };
    QCOMPARE(answer(""), QStringList{""});
    files()->clear();
    QCOMPARE(answer("a.img|"), QStringList({"a.img", ""}));
    files()->clear();
    QCOMPARE(answer("a.img|b.img|c.img"), QStringList({"a.img", "b.img", "c.img"}));
    // Later answers only remove what they lack; a name inside a longer one counts as present.
    QCOMPARE(answer("a.img|xb.img"), QStringList({"a.img", "b.img"}));
    QCOMPARE(answer("A.IMG|b.img|d.img"), QStringList({"b.img"}));
    QCOMPARE(answer(""), QStringList());
}

void TestWorkflows::loadRefusalsWithMachines()
{
    ScriptedPeer *peer = addMachine("M1", {"S1", "S2"});
    QVERIFY(peer);
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    tabs()->setCurrentIndex(2);
    trigger(BriefLoad);
    QCOMPARE(answerer.last().title, QStringLiteral("Error"));
    QCOMPARE(answerer.last().text, QString::fromLatin1(SelectAnyDevice));
    QCOMPARE(tabs()->currentIndex(), 0);

    // Machine rows are logged and never loaded themselves.
    peer->clearReceived();
    select({"M1"});
    answerer.pressButton(QMessageBox::Ok);
    trigger(FullLoad);
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.last().text, QString::fromLatin1(SelectAnyDevice));
    QVERIFY(logText().contains("Machine ID found : M1 \n"));
    QVERIFY(!logText().contains("Device found"));
    QVERIFY(!ScriptedPeer::waitUntil([peer] { return !peer->received().isEmpty(); }, 200));
}

void TestWorkflows::oneDeviceLoadsWithoutDialog_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("status");
    QTest::newRow("brief") << int(BriefLoad) << "0"
                           << "Send image to Server...";
    QTest::newRow("full") << int(FullLoad) << "1"
                          << "Send full image to Server...";
}

void TestWorkflows::oneDeviceLoadsWithoutDialog()
{
    QFETCH(int, what);
    QFETCH(QString, flag);
    QFETCH(QString, status);
    ScriptedPeer *peer = addMachine("M1", {"S1", "S2"});
    QVERIFY(peer);
    select({"M1", "M1/S2"});
    tabs()->setCurrentIndex(2);

    QString statusDuringLoad;
    int tabDuringLoad = -1;
    connect(peer, &ScriptedPeer::dataReceived, this, [&] {
        if (statusDuringLoad.isEmpty()) {
            statusDuringLoad = window->statusBar()->currentMessage();
            tabDuringLoad = tabs()->currentIndex();
            emit server()->transferProgress(0, 0); // as a load reports before its table
        }
    });
    ModalAnswerer answerer;
    answerer.chooseFile(workDir.filePath("m1-s2"));
    trigger(Trigger(what));
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
    QCOMPARE(peer->receivedLines().value(0),
             QStringLiteral("C S2 %1 %2").arg(para.tcpport + 1).arg(flag).toUtf8());
    QCOMPARE(statusDuringLoad, status);
    QCOMPARE(tabDuringLoad, 0);
    QVERIFY(logText().contains("Machine ID found : M1 \n"));
    QVERIFY(logText().contains("Device found : S2 \n"));
    // Nobody serves the transfer: the load ends within its (shortened) connect limit.
    QVERIFY(!Client::isBusy());
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(tabs()->currentIndex(), 0);
    // The progress goes with the load, whatever the load reported last.
    QVERIFY(window->findChild<QProgressBar *>("progressTransfer")->isHidden());
}

void TestWorkflows::severalDevicesAskWhichOne_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<int>("dialogRow"); // -1: Cancel; -2: OK after editing row 1 in place
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("loaded"); // "" when nothing may be loaded
    QTest::addColumn<int>("machine");
    QTest::newRow("second chosen")
        << QStringList{"M1/S1", "M1/S2"} << 1 << QStringList{"S1", "S2"} << "S2" << 0;
    QTest::newRow("selection order")
        << QStringList{"M1/S2", "M1/S1"} << 0 << QStringList{"S2", "S1"} << "S2" << 0;
    QTest::newRow("cancel") << QStringList{"M1/S1", "M1/S2"} << -1 << QStringList{"S1", "S2"} << ""
                            << 0;
    QTest::newRow("edited name falls back to first found")
        << QStringList{"M1/S2", "M1/S1"} << -2 << QStringList{"S2", "S1"} << "S2" << 0;
    QTest::newRow("same name on two machines, second entry")
        << QStringList{"M2/S1", "M1/S1"} << 1 << QStringList{"S1", "S1"} << "S1" << 1;
}

void TestWorkflows::severalDevicesAskWhichOne()
{
    QFETCH(QStringList, selection);
    QFETCH(int, dialogRow);
    QFETCH(QStringList, shown);
    QFETCH(QString, loaded);
    QFETCH(int, machine);
    QList<ScriptedPeer *> machines = {addMachine("M1", {"S1", "S2"}), addMachine("M2", {"S1"})};
    QVERIFY(machines.at(0) && machines.at(1));
    select(selection);

    QStringList listed;
    ModalAnswerer answerer;
    answerer.perform([&](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>("listView");
        for (int row = 0; row < list->model()->rowCount(); ++row)
            listed << list->model()->index(row, 0).data().toString();
        auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
        if (dialogRow == -1) {
            buttons->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        const QModelIndex entry = list->model()->index(dialogRow == -2 ? 1 : dialogRow, 0);
        list->setCurrentIndex(entry);
        if (dialogRow == -2)
            list->model()->setData(entry, "S9");
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    if (loaded.isEmpty())
        answerer.pressButton(QMessageBox::Ok);
    else
        answerer.chooseFile(workDir.filePath("chosen.img"));
    trigger(BriefLoad);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().first().className, QStringLiteral("devicedialog"));
    QCOMPARE(listed, shown);
    if (loaded.isEmpty()) {
        QCOMPARE(answerer.last().title, QStringLiteral("Error"));
        QCOMPARE(answerer.last().text, QStringLiteral("Please select one Device!"));
        QVERIFY(machines.at(0)->received().isEmpty());
        return;
    }
    QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
    QCOMPARE(machines.at(machine)->receivedLines().value(0),
             QStringLiteral("C %1 %2 0").arg(loaded).arg(para.tcpport + 1).toUtf8());
    QVERIFY(machines.at(1 - machine)->received().isEmpty());
    // The dialog went with the run.
    QTRY_VERIFY(!window->findChild<QDialog *>("devicedialog"));
}

void TestWorkflows::busyConsoleRefusesTransfersAndClose()
{
    ScriptedPeer *peer = addMachine("M1", {"S1", "S2"});
    QVERIFY(peer);
    ScriptedPeer *other = addMachine("M2", {"S1"});
    QVERIFY(other);
    setFileList(peer, "a.img|b.img", 2);
    selectFile("a.img");
    select({"M1/S1"});

    // While the load waits for the machine, everything else that moves data is refused.
    bool done = false;
    connect(peer, &ScriptedPeer::dataReceived, this, [&] {
        if (done || !peer->received().startsWith("C "))
            return;
        done = true;
        QVERIFY(Client::isBusy());
        trigger(FullLoad);
        trigger(Dispatch);
        trigger(UploadButton);
        // Naming the image file makes no busy test.
        trigger(ApplyButton);
        QVERIFY(!window->close());
    });
    ModalAnswerer answerer;
    answerer.chooseFile(workDir.filePath("busy.img"));
    for (int i = 0; i < 3; ++i)
        answerer.pressButton(QMessageBox::Ok);
    answerer.pressButton(QMessageBox::Ok);
    trigger(BriefLoad);
    QVERIFY(done);
    QCOMPARE(answerer.pending(), 0);
    const QList<ModalAnswerer::Seen> seen = answerer.seen();
    QCOMPARE(seen.size(), 5);
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(seen.at(i).title, QStringLiteral("Error"));
        QCOMPARE(seen.at(i).text, QString::fromLatin1(Busy));
    }
    const QString refusal = "Can't close window because server is busy!\nPlease abort first\n";
    QCOMPARE(seen.at(4).title, QStringLiteral("WARNING"));
    QCOMPARE(seen.at(4).text, refusal);
    QCOMPARE(seen.at(4).buttons, QStringList{"OK"});
    QVERIFY(logText().contains(refusal));
    QVERIFY(window && window->isVisible());
    QVERIFY(other->received().contains("S a.img\n"));

    // Once the load has ended the window closes and lets every machine go.
    QVERIFY(!Client::isBusy());
    QVERIFY(window->close());
    QTRY_VERIFY(window.isNull());
    QTRY_VERIFY(!peer->isConnected() && !other->isConnected());
}

void TestWorkflows::buttonBoxRefusals_data()
{
    QTest::addColumn<QString>("answers"); // file-list answers, separated by ";"
    QTest::addColumn<QString>("file");    // selected entry, "-" for none
    QTest::addColumn<int>("what");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString noFiles = "Please select Device and Refresh files!";
    const QString oneFile = "Please Select One File!";
    const QString noName = "Please Select File!";
    const QString notFound = "File Not found!";
    const QString space = "Please Check file name!\nCan not contain space!";
    for (int what : {int(ApplyButton), int(UploadButton)}) {
        const QString button = what == ApplyButton ? "Apply: " : "Upload: ";
        QTest::newRow(qPrintable(button + "empty list")) << ""
                                                         << "-" << what << "Error" << noFiles;
        QTest::newRow(qPrintable(button + "nothing selected"))
            << "a.img|b.img"
            << "-" << what << "WARNING" << oneFile;
        QTest::newRow(qPrintable(button + "empty name")) << "a.img|"
                                                         << "" << what << "WARNING" << noName;
        QTest::newRow(qPrintable(button + "name with space"))
            << "a.img|my file.img"
            << "my file.img" << what << "WARNING" << space;
        QTest::newRow(qPrintable(button + "only in the first answer"))
            << "a.img|b.img;a.img|bb.img"
            << "b.img" << what << "WARNING" << notFound;
        QTest::newRow(qPrintable(button + "space and not found"))
            << "a.img|my file.img;a.img|my file.img.old"
            << "my file.img" << what << "WARNING" << notFound;
    }
}

void TestWorkflows::buttonBoxRefusals()
{
    QFETCH(QString, answers);
    QFETCH(QString, file);
    QFETCH(int, what);
    QFETCH(QString, title);
    QFETCH(QString, text);
    // A source device, so that Upload gets as far as the file name.
    ScriptedPeer *peer = addMachineWithSource();
    QVERIFY(peer);
    if (!answers.isEmpty()) {
        for (const QString &answer : answers.split(';')) {
            const int before = files()->count();
            QString list = answer;
            emit server()->reflashFiles(list);
            QVERIFY(files()->count() > 0 || before > 0);
        }
    }
    if (file != "-")
        selectFile(file);
    peer->clearReceived();

    ModalAnswerer answerer;
    answerer.pressButton(title == "Error" ? QMessageBox::Ok : QMessageBox::Close);
    trigger(Trigger(what));
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().title, title);
    QCOMPARE(answerer.last().text, text);
    QCOMPARE(answerer.last().buttons,
             QStringList{title == "Error" ? QStringLiteral("OK") : QStringLiteral("Close")});
    QVERIFY(!ScriptedPeer::waitUntil([peer] { return !peer->received().isEmpty(); }, 100));
    QVERIFY(tree()->selectionModel()->selectedRows().isEmpty());
}

void TestWorkflows::applyNamesTheFileOnEveryMachine()
{
    QList<ScriptedPeer *> machines = {addMachine("M1", {"S1"}), addMachine("M2", {"S1"})};
    QVERIFY(machines.at(0) && machines.at(1));
    setFileList(machines.at(0), "a.img|b.img", 2);
    selectFile("b.img");
    tabs()->setCurrentIndex(0);
    QSignalSpy statusChanges(window->statusBar(), &QStatusBar::messageChanged);
    trigger(ApplyButton);
    for (ScriptedPeer *peer : machines) {
        QVERIFY(peer->waitForReceived(int(strlen("S b.img\n")), WaitMs));
        QCOMPARE(peer->received(), QByteArray("S b.img\n"));
    }
    QCOMPARE(statusChanges.value(0).value(0).toString(),
             QStringLiteral("Ask for set image file name b.img"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    // Machine tabs exist: the Files tab stays in front.
    QCOMPARE(tabs()->currentWidget()->objectName(), QStringLiteral("tabFiles"));
}

void TestWorkflows::uploadFindsTheSourceDevice()
{
    ScriptedPeer *peer = addMachineWithSource();
    QVERIFY(peer);
    tree()->expandAll();
    setFileList(peer, "a.img|b.img", 2);
    selectFile("b.img");
    peer->clearReceived();

    QString statusDuringUpload;
    connect(peer, &ScriptedPeer::dataReceived, this, [&] {
        if (statusDuringUpload.isEmpty())
            statusDuringUpload = window->statusBar()->currentMessage();
    });
    ModalAnswerer answerer;
    answerer.chooseFile(workDir.filePath("uploaded"));
    trigger(UploadButton);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
    QCOMPARE(peer->receivedLines().value(0),
             QStringLiteral("C S2 %1 0 1 b.img").arg(para.tcpport + 1).toUtf8());
    QCOMPARE(statusDuringUpload, QStringLiteral("UpLoad image file b.img to Server..."));
    QVERIFY(tree()->selectionModel()->selectedRows().isEmpty());
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(tabs()->currentWidget()->objectName(), QStringLiteral("tabFiles"));
}

void TestWorkflows::uploadRefusesWithoutDevice()
{
    ScriptedPeer *peer = addMachineWithSource();
    QVERIFY(peer);
    setFileList(peer, "a.img", 1);
    selectFile("a.img");
    peer->clearReceived();

    // Collapsed: the source device is not among the rows select-all reaches.
    tree()->collapseAll();
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Close);
    trigger(UploadButton);
    QCOMPARE(answerer.last().title, QStringLiteral("WARNING"));
    QCOMPARE(answerer.last().text, QStringLiteral("Please Select Machine Device!"));
    QVERIFY(tree()->selectionModel()->selectedRows().isEmpty());

    // A machine row chosen by the operator has no machine above it to send from.
    select({"M1"});
    answerer.pressButton(QMessageBox::Close);
    trigger(UploadButton);
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.last().text, QStringLiteral("Please Select Machine Device!"));
    QVERIFY(!ScriptedPeer::waitUntil([peer] { return !peer->received().isEmpty(); }, 100));
}

void TestWorkflows::dispatchAsksRangeWhenNothingSelected_data()
{
    QTest::addColumn<bool>("agree");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestWorkflows::dispatchAsksRangeWhenNothingSelected()
{
    QFETCH(bool, agree);
    QVERIFY(addMachine("M1", {"S1", "S2"}));
    QVERIFY(addMachine("M2", {"S1"}));
    tree()->expandAll();
    tabs()->setCurrentIndex(2);
    int selectedDuringQuestion = -1;
    QString statusAtHandOver;
    ModalAnswerer answerer;
    answerer.perform([&](QWidget *box) {
        selectedDuringQuestion = tree()->selectionModel()->selectedRows().size();
        static_cast<QMessageBox *>(box)
            ->button(agree ? QMessageBox::Ok : QMessageBox::Cancel)
            ->click();
    });
    if (agree) {
        // The dispatch itself asks for the image file first; declining it ends the run.
        answerer.perform([&](QWidget *dialog) {
            statusAtHandOver = window->statusBar()->currentMessage();
            static_cast<QDialog *>(dialog)->reject();
        });
    }
    trigger(Dispatch);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Ask Range"));
    QCOMPARE(answerer.seen().first().text,
             QStringLiteral("Would you like to dispatch to all machines connected?"));
    QCOMPARE(answerer.seen().first().buttons, QStringList({"OK", "Cancel"}));
    QCOMPARE(selectedDuringQuestion, 5); // two machine rows and three device rows
    if (agree) {
        QCOMPARE(answerer.seen().size(), 2);
        QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
        QCOMPARE(statusAtHandOver, QStringLiteral("Send image to all clients..."));
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
    } else {
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(tree()->selectionModel()->selectedRows().isEmpty());
    }
    QCOMPARE(tabs()->currentIndex(), 0);
}

void TestWorkflows::dispatchHandsChosenDevicesOver()
{
    // Chosen rows go over without the question.
    QVERIFY(addMachine("M1", {"S1", "S2"}));
    select({"M1", "M1/S2"});
    ModalAnswerer answerer;
    answerer.chooseFile(QString());
    trigger(Dispatch);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
}

void TestWorkflows::refreshFilesAsksEveryMachine()
{
    QList<ScriptedPeer *> machines = {addMachine("M1", {"S1"}), addMachine("M2", {"S1"})};
    QVERIFY(machines.at(0) && machines.at(1));
    setFileList(machines.at(0), "old.img", 1);
    tabs()->setCurrentIndex(0);
    trigger(RefreshFiles);
    QCOMPARE(files()->count(), 0);
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("reading file lists from all machines..."));
    QCOMPARE(tabs()->currentWidget()->objectName(), QStringLiteral("tabFiles"));
    for (ScriptedPeer *peer : machines) {
        QVERIFY(peer->waitForReceived(2, WaitMs));
        QCOMPARE(peer->received(), QByteArray("R\n"));
    }
    // The answers: the list keeps what both machines hold.
    machines.at(0)->sendLine("&R a.img|b.img|c.img");
    QTRY_COMPARE(files()->count(), 3);
    machines.at(1)->sendLine("&R c.img|a.img");
    QTRY_COMPARE(files()->count(), 2);
    QCOMPARE(files()->item(0)->text(), QStringLiteral("a.img"));
    QCOMPARE(files()->item(1)->text(), QStringLiteral("c.img"));
}

TARN_TEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
