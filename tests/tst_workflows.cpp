#include <QAction>
#include <QDialogButtonBox>
#include <QListView>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QTreeView>
#include <QtTest>

#include "app/para.h"
#include "client/client.h"
#include "server/server.h"
#include "transfer/transferlimits.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"
#include "ui/mainwindow.h"

namespace {
const char *const NotConnected = "Please press the Connection button to connect the machine.!";
const char *const SelectAnyDevice = "Please select any one Device!";
const char *const Busy = "server is busy!";
// What the operator triggers: actions by object name, the Files tab's buttons by their role.
const char *const BriefLoad = "actionBriefLoad";
const char *const FullLoad = "actionFullLoad";
const char *const Dispatch = "actionUpload";
const char *const RefreshFiles = "actionReflash_Files";
const char *const ApplyButton = "Apply";
const char *const UploadButton = "Save";
constexpr int WaitMs = 10000;
// How the device dialog is answered.
constexpr int NoDialog = -3;
constexpr int EditRow1 = -2;
constexpr int CancelDialog = -1;
// Time limits shrink to 0.4%: a load that nobody serves gives up within about a second.
constexpr int TestMsPerSecond = 4;

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
    void fileListAnswers();

    void loadsChosenDevice_data();
    void loadsChosenDevice();
    void busyConsoleRefusesTransfersAndClose();

    void buttonBoxRefusals_data();
    void buttonBoxRefusals();
    void uploadFindsTheSourceDevice();

    void dispatchAsksRangeOnlyWhenNothingSelected_data();
    void dispatchAsksRangeOnlyWhenNothingSelected();
    void refreshThenApplyOnEveryMachine();

private:
    void trigger(const QString &what);
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
    QString status() const { return window->statusBar()->currentMessage(); }
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>("tabWidget"); }
    QString currentTab() const { return tabs()->currentWidget()->objectName(); }
    QTreeView *tree() const { return window->findChild<QTreeView *>("treeView"); }
    QListWidget *files() const { return window->findChild<QListWidget *>("listWidgetFiles"); }
    QStringList fileNames() const
    {
        QStringList names;
        for (int row = 0; row < files()->count(); ++row)
            names << files()->item(row)->text();
        return names;
    }
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

void TestWorkflows::trigger(const QString &what)
{
    if (auto *action = window->findChild<QAction *>(what))
        return action->trigger();
    auto *buttons = window->findChild<QDialogButtonBox *>("buttonBox");
    buttons->button(what == ApplyButton ? QDialogButtonBox::Apply : QDialogButtonBox::Save)
        ->click();
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
            const QModelIndex machine = rowOf(name);
            return machine.isValid() && tree()->model()->rowCount(machine) == ports.size();
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
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("machineTabs");
    QTest::addColumn<QString>("shownTab");
    for (const char *what :
         {BriefLoad, FullLoad, Dispatch, RefreshFiles, ApplyButton, UploadButton})
        QTest::newRow(what) << what << false << "tabSummary";
    // With machine tabs the Files tab is no longer the third: it is found by name.
    for (const char *what : {RefreshFiles, ApplyButton, UploadButton})
        QTest::newRow(qPrintable(QStringLiteral("%1, machine tabs").arg(what)))
            << what << true << "tabFiles";
}

void TestWorkflows::refusalsWithoutMachines()
{
    QFETCH(QString, what);
    QFETCH(bool, machineTabs);
    QFETCH(QString, shownTab);
    // Stand-ins for machine tabs, where machines put theirs.
    if (machineTabs) {
        tabs()->insertTab(1, new QWidget(), "A");
        tabs()->insertTab(1, new QWidget(), "B");
    }
    // Action enabled at start, nothing connected: each one refuses and points at Connection.
    tabs()->setCurrentIndex(machineTabs ? 0 : 2);
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Ok);
    trigger(what);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().title, QStringLiteral("Error"));
    QCOMPARE(answerer.last().text, QString::fromLatin1(NotConnected));
    QCOMPARE(answerer.last().buttons, QStringList{"OK"});
    QCOMPARE(tabs()->currentIndex(), machineTabs ? 4 : 0);
    QCOMPARE(currentTab(), shownTab);
}

void TestWorkflows::fileListAnswers()
{
    auto answer = [this](QString text) {
        emit server()->reflashFiles(text);
        return fileNames();
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

void TestWorkflows::loadsChosenDevice_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<int>("dialogRow"); // the entry chosen, or how the dialog is answered
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("loaded"); // "" when the load is refused
    QTest::addColumn<int>("machine");
    const auto row = [](const char *name, const char *what, const QStringList &selection,
                        int dialogRow, const QStringList &shown, const char *loaded, int machine) {
        QTest::newRow(name) << what << selection << dialogRow << shown << QString(loaded)
                            << machine;
    };
    row("nothing selected", BriefLoad, {}, NoDialog, {}, "", 0);
    // Machine rows are logged and never loaded themselves.
    row("machine row only", FullLoad, {"M1"}, NoDialog, {}, "", 0);
    row("brief, one device", BriefLoad, {"M1", "M1/S2"}, NoDialog, {}, "S2", 0);
    row("full, one device", FullLoad, {"M1", "M1/S2"}, NoDialog, {}, "S2", 0);
    row("second chosen", BriefLoad, {"M1/S1", "M1/S2"}, 1, {"S1", "S2"}, "S2", 0);
    row("selection order", BriefLoad, {"M1/S2", "M1/S1"}, 0, {"S2", "S1"}, "S2", 0);
    row("cancel", BriefLoad, {"M1/S1", "M1/S2"}, CancelDialog, {"S1", "S2"}, "", 0);
    row("edited name falls back to first found", BriefLoad, {"M1/S2", "M1/S1"}, EditRow1,
        {"S2", "S1"}, "S2", 0);
    row("same name on two machines, second entry", BriefLoad, {"M2/S1", "M1/S1"}, 1, {"S1", "S1"},
        "S1", 1);
}

void TestWorkflows::loadsChosenDevice()
{
    QFETCH(QString, what);
    QFETCH(QStringList, selection);
    QFETCH(int, dialogRow);
    QFETCH(QStringList, shown);
    QFETCH(QString, loaded);
    QFETCH(int, machine);
    QList<ScriptedPeer *> machines = {addMachine("M1", {"S1", "S2"}), addMachine("M2", {"S1"})};
    QVERIFY(machines.at(0) && machines.at(1));
    select(selection);
    tabs()->setCurrentIndex(2);

    QString statusDuringLoad;
    int tabDuringLoad = -1;
    connect(machines.at(machine), &ScriptedPeer::dataReceived, this, [&] {
        if (statusDuringLoad.isEmpty()) {
            statusDuringLoad = status();
            tabDuringLoad = tabs()->currentIndex();
            emit server()->transferProgress(0, 0); // as a load reports before its table
        }
    });
    QStringList listed;
    ModalAnswerer answerer;
    if (dialogRow != NoDialog) {
        answerer.perform([&](QWidget *dialog) {
            auto *list = dialog->findChild<QListView *>("listView");
            for (int row = 0; row < list->model()->rowCount(); ++row)
                listed << list->model()->index(row, 0).data().toString();
            auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
            if (dialogRow == CancelDialog)
                return buttons->button(QDialogButtonBox::Cancel)->click();
            const QModelIndex entry =
                list->model()->index(dialogRow == EditRow1 ? 1 : dialogRow, 0);
            list->setCurrentIndex(entry);
            if (dialogRow == EditRow1)
                list->model()->setData(entry, "S9");
            buttons->button(QDialogButtonBox::Ok)->click();
        });
    }
    if (loaded.isEmpty())
        answerer.pressButton(QMessageBox::Ok);
    else
        answerer.chooseFile(workDir.filePath("chosen.img"));
    trigger(what);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().first().className,
             QString::fromLatin1(dialogRow != NoDialog ? "devicedialog"
                                 : loaded.isEmpty()    ? "QMessageBox"
                                                       : "QFileDialog"));
    QCOMPARE(listed, shown);
    QCOMPARE(logText().contains("Machine ID found : M1 \n"), selection.contains("M1"));
    if (loaded.isEmpty()) {
        QCOMPARE(answerer.last().title, QStringLiteral("Error"));
        QCOMPARE(answerer.last().text, dialogRow == NoDialog
                                           ? QString::fromLatin1(SelectAnyDevice)
                                           : QStringLiteral("Please select one Device!"));
        QVERIFY(dialogRow != NoDialog || !logText().contains("Device found"));
        QVERIFY(
            !ScriptedPeer::waitUntil([&] { return !machines.at(0)->received().isEmpty(); }, 200));
        QVERIFY(!selection.isEmpty() || tabs()->currentIndex() == 0);
        return;
    }
    QCOMPARE(answerer.last().className, QStringLiteral("QFileDialog"));
    QCOMPARE(machines.at(machine)->receivedLines().value(0), QStringLiteral("C %1 %2 %3")
                                                                 .arg(loaded)
                                                                 .arg(para.tcpport + 1)
                                                                 .arg(what == FullLoad ? 1 : 0)
                                                                 .toUtf8());
    QVERIFY(machines.at(1 - machine)->received().isEmpty());
    QCOMPARE(statusDuringLoad, what == FullLoad ? QStringLiteral("Send full image to Server...")
                                                : QStringLiteral("Send image to Server..."));
    QCOMPARE(tabDuringLoad, 0);
    QVERIFY(logText().contains("Device found : " + loaded + " \n"));
    // Nobody serves the transfer: the load ends within its (shortened) connect limit.
    QVERIFY(!Client::isBusy());
    QVERIFY(status().isEmpty());
    QCOMPARE(tabs()->currentIndex(), 0);
    // The progress goes with the load, whatever the load reported last; the dialog goes too.
    QVERIFY(window->findChild<QProgressBar *>("progressTransfer")->isHidden());
    QTRY_VERIFY(!window->findChild<QDialog *>("devicedialog"));
}

void TestWorkflows::busyConsoleRefusesTransfersAndClose()
{
    ScriptedPeer *peer = addMachine("M1", {"S1", "S2"});
    ScriptedPeer *other = addMachine("M2", {"S1"});
    QVERIFY(peer && other);
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
        for (const char *what : {FullLoad, Dispatch, UploadButton, ApplyButton})
            trigger(what); // naming the image file makes no busy test
        QVERIFY(!window->close());
    });
    ModalAnswerer answerer;
    answerer.chooseFile(workDir.filePath("busy.img"));
    for (int i = 0; i < 4; ++i)
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
    QTest::addColumn<QString>("rows");    // "collapsed", or the row the operator chose
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const auto row = [](const QString &name, const char *answers, const char *file,
                        const char *rows, const char *what, const char *title, const char *text) {
        QTest::newRow(qPrintable(name)) << answers << file << rows << what << title << text;
    };
    const char *const notFound = "File Not found!";
    for (const char *what : {ApplyButton, UploadButton}) {
        const QString button = QString::fromLatin1(what) + ": ";
        row(button + "empty list", "", "-", "", what, "Error",
            "Please select Device and Refresh files!");
        row(button + "nothing selected", "a.img|b.img", "-", "", what, "WARNING",
            "Please Select One File!");
        row(button + "empty name", "a.img|", "", "", what, "WARNING", "Please Select File!");
        row(button + "name with space", "a.img|my file.img", "my file.img", "", what, "WARNING",
            "Please Check file name!\nCan not contain space!");
        row(button + "only in the first answer", "a.img|b.img;a.img|bb.img", "b.img", "", what,
            "WARNING", notFound);
        row(button + "space and not found", "a.img|my file.img;a.img|my file.img.old",
            "my file.img", "", what, "WARNING", notFound);
    }
    // Collapsed, the source device is not among the rows select-all reaches; a machine row
    // chosen by the operator has no machine above it to send from.
    for (const char *rows : {"collapsed", "M1"})
        row(QStringLiteral("Upload: no device, %1").arg(rows), "a.img", "a.img", rows, UploadButton,
            "WARNING", "Please Select Machine Device!");
}

void TestWorkflows::buttonBoxRefusals()
{
    QFETCH(QString, answers);
    QFETCH(QString, file);
    QFETCH(QString, rows);
    QFETCH(QString, what);
    QFETCH(QString, title);
    QFETCH(QString, text);
    // A source device, so that Upload gets as far as the file name.
    ScriptedPeer *peer = addMachineWithSource();
    QVERIFY(peer);
    for (QString answer : answers.split(';', Qt::SkipEmptyParts))
        emit server()->reflashFiles(answer);
    QVERIFY(files()->count() > 0 || answers.isEmpty());
    if (file != "-")
        selectFile(file);
    if (rows == QLatin1String("collapsed"))
        tree()->collapseAll();
    else if (!rows.isEmpty())
        select({rows});
    peer->clearReceived();

    ModalAnswerer answerer;
    answerer.pressButton(title == "Error" ? QMessageBox::Ok : QMessageBox::Close);
    trigger(what);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().title, title);
    QCOMPARE(answerer.last().text, text);
    QCOMPARE(answerer.last().buttons,
             QStringList{title == "Error" ? QStringLiteral("OK") : QStringLiteral("Close")});
    QVERIFY(!ScriptedPeer::waitUntil([peer] { return !peer->received().isEmpty(); }, 100));
    QVERIFY(rows == QLatin1String("M1") || tree()->selectionModel()->selectedRows().isEmpty());
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
            statusDuringUpload = status();
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
    QVERIFY(status().isEmpty());
    QCOMPARE(currentTab(), QStringLiteral("tabFiles"));
}

void TestWorkflows::dispatchAsksRangeOnlyWhenNothingSelected_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<bool>("agree");
    QTest::newRow("nothing selected, OK") << QStringList() << true;
    QTest::newRow("nothing selected, Cancel") << QStringList() << false;
    // Chosen rows go over without the question.
    QTest::newRow("devices chosen") << QStringList{"M1", "M1/S2"} << true;
}

void TestWorkflows::dispatchAsksRangeOnlyWhenNothingSelected()
{
    QFETCH(QStringList, selection);
    QFETCH(bool, agree);
    QVERIFY(addMachine("M1", {"S1", "S2"}));
    QVERIFY(addMachine("M2", {"S1"}));
    tree()->expandAll();
    select(selection);
    tabs()->setCurrentIndex(2);
    const bool asks = selection.isEmpty();
    int selectedDuringQuestion = -1;
    QString statusAtHandOver;
    ModalAnswerer answerer;
    if (asks) {
        answerer.perform([&](QWidget *box) {
            selectedDuringQuestion = tree()->selectionModel()->selectedRows().size();
            static_cast<QMessageBox *>(box)
                ->button(agree ? QMessageBox::Ok : QMessageBox::Cancel)
                ->click();
        });
    }
    // The dispatch itself asks for the image file first; declining it ends the run.
    if (agree) {
        answerer.perform([&](QWidget *dialog) {
            statusAtHandOver = status();
            static_cast<QDialog *>(dialog)->reject();
        });
    }
    trigger(Dispatch);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.seen().size(), int(asks) + int(agree));
    QCOMPARE(answerer.last().className,
             agree ? QStringLiteral("QFileDialog") : QStringLiteral("QMessageBox"));
    QCOMPARE(statusAtHandOver, agree ? QStringLiteral("Send image to all clients...") : QString());
    QVERIFY(status().isEmpty());
    QCOMPARE(tabs()->currentIndex(), 0);
    if (!asks)
        return;
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Ask Range"));
    QCOMPARE(answerer.seen().first().text,
             QStringLiteral("Would you like to dispatch to all machines connected?"));
    QCOMPARE(answerer.seen().first().buttons, QStringList({"OK", "Cancel"}));
    QCOMPARE(selectedDuringQuestion, 5); // two machine rows and three device rows
    QVERIFY(agree || tree()->selectionModel()->selectedRows().isEmpty());
}

void TestWorkflows::refreshThenApplyOnEveryMachine()
{
    QList<ScriptedPeer *> machines = {addMachine("M1", {"S1"}), addMachine("M2", {"S1"})};
    QVERIFY(machines.at(0) && machines.at(1));
    setFileList(machines.at(0), "old.img", 1);
    tabs()->setCurrentIndex(0);
    trigger(RefreshFiles);
    QCOMPARE(files()->count(), 0);
    QCOMPARE(status(), QStringLiteral("reading file lists from all machines..."));
    QCOMPARE(currentTab(), QStringLiteral("tabFiles"));
    for (ScriptedPeer *peer : machines) {
        QVERIFY(peer->waitForReceived(2, WaitMs));
        QCOMPARE(peer->received(), QByteArray("R\n"));
        peer->clearReceived();
    }
    // The answers: the list keeps what both machines hold.
    machines.at(0)->sendLine("&R a.img|b.img|c.img");
    QTRY_COMPARE(files()->count(), 3);
    machines.at(1)->sendLine("&R c.img|a.img");
    QTRY_COMPARE(fileNames(), QStringList({"a.img", "c.img"}));

    selectFile("c.img");
    tabs()->setCurrentIndex(0);
    QSignalSpy statusChanges(window->statusBar(), &QStatusBar::messageChanged);
    trigger(ApplyButton);
    for (ScriptedPeer *peer : machines) {
        QVERIFY(peer->waitForReceived(int(strlen("S c.img\n")), WaitMs));
        QCOMPARE(peer->received(), QByteArray("S c.img\n"));
    }
    QCOMPARE(statusChanges.value(0).value(0).toString(),
             QStringLiteral("Ask for set image file name c.img"));
    QVERIFY(status().isEmpty());
    // Machine tabs exist: the Files tab stays in front.
    QCOMPARE(currentTab(), QStringLiteral("tabFiles"));
}

TARN_TEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
