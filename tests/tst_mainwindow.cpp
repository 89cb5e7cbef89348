#include <QDialogButtonBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include "app/para.h"
#include "app/setupdialog.h"
#include "client/client.h"
#include "server/server.h"
#include "testkit/modalanswerer.h"
#include "testkit/testenv.h"
#include "ui/mainwindow.h"
#include "ui/progressdelegate.h"
#include "ui/transferprogress.h"

using S = QStringList;

namespace {
template <typename T> T *child(QObject *parent, const char *name)
{
    T *object = parent->findChild<T *>(name);
    if (!object)
        qFatal("no object %s", name);
    return object;
}

QList<QStandardItem *> row(const QString &name)
{
    QList<QStandardItem *> items;
    items << new QStandardItem(name);
    for (int column = 1; column < 7; ++column)
        items << new QStandardItem();
    return items;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layout();
    void actions_data();
    void actions();
    void clickingRowsSwitchesLoadActions();
    void setupActionRunsSetupDialog();
    void transferProgressInStatusBar();
    void progressText_data();
    void progressText();
    void fileListThinning_data();
    void fileListThinning();
    void closingWhenIdleDestroysWindow();
    void summaryReadsAtAGlance();

private:
    QPointer<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    // Nothing here may announce on a real network.
    Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
    para.save(Para::paraDefault);
}

void TestMainWindow::init()
{
    // A command port nobody else uses.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    para.tcpport = probe.serverPort();
    probe.close();
    window = new MainWindow();
}

void TestMainWindow::cleanup()
{
    delete window;
}

void TestMainWindow::layout()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("TARN"));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(!window->findChild<QMenuBar *>());
    QVERIFY(child<Server>(window, "")->parent() == window);
    auto *buttons = child<QDialogButtonBox>(window, "buttonBox");
    QCOMPARE(buttons->button(QDialogButtonBox::Save)->text(), QStringLiteral("Upload"));
    QCOMPARE(buttons->button(QDialogButtonBox::Apply)->text(), QStringLiteral("Apply"));

    auto *tabs = child<QTabWidget>(window, "tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QStringList tabList;
    for (int i = 0; i < tabs->count(); ++i)
        tabList << tabs->widget(i)->objectName() + ": " + tabs->tabText(i);
    QCOMPARE(tabList, QStringList({"tabSummary: Machines Summary", "tabGlobalJournal: Global Log",
                                   "tabFiles: Files"}));
    auto *view = child<QTreeView>(window, "treeView");
    QVERIFY(view->parent() == tabs->widget(0));
    QVERIFY(child<QTextBrowser>(window, "logGlobal")->parent() == tabs->widget(1));
    QVERIFY(child<QListWidget>(window, "listWidgetFiles")->parent() == tabs->widget(2));

    auto *bar = child<QToolBar>(window, "toolBar");
    QCOMPARE(bar->iconSize(), QSize(48, 48));
    QStringList order;
    for (QAction *action : bar->actions())
        order << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
    QCOMPARE(order, QStringList({"actionReflash", "|", "actionCopy", "actionCompare",
                                 "actionVerify", "actionErase", "|", "actionAbort", "|",
                                 "actionReflash_Files", "actionBriefLoad", "actionFullLoad",
                                 "actionUpload", "|", "actionSetup", "|"}));

    QStringList headers;
    for (int column = 0; column < view->model()->columnCount(); ++column)
        headers << view->model()->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Index", "ModelName", "VendorName", "Capacity", "Status",
                                   "Percentage", "Note"}));
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(view->selectionMode(), QAbstractItemView::MultiSelection);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("icon");
    auto add = [](const char *name, const char *text, const char *tip, const char *icon) {
        QTest::newRow(name) << name << text << tip << QString(":/icons/%1").arg(icon);
    };
    add("actionCopy", "COPY", "COPY", "fullcopy.ico");
    add("actionErase", "ERASE", "ERASE", "erase.ico");
    add("actionVerify", "VERIFY", "VERIFY", "verify.ico");
    add("actionSetup", "SETUP", "SETUP", "tool.ico");
    add("actionUpload", "Upload", "Restore Image to all client source devices", "dispatch.ico");
    add("actionAbort", "Stop", "Stop", "abort.ico");
    add("actionReflash", "Reflash", "Connection", "reflash.ico");
    add("actionCompare", "COMPARE", "COMPARE", "fullcompare.ico");
    add("actionResize", "RESIZE", "RESIZE", "resize.ico");
    add("actionBriefLoad", "BRIEF LOAD", "BRIEF LOAD", "briefload.ico");
    add("actionFullLoad", "FULL LOAD", "FULL LOAD", "fullload.ico");
    add("actionReflash_Files", "Refresh files", "Refresh files", "reflashFiles.ico");
}

void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QString, icon);
    auto *action = child<QAction>(window, name.toLatin1());
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), toolTip);
    QVERIFY(action->isEnabled());
    // The action shows that very picture, drawn at the tool bar's size.
    const QImage picture(icon);
    QCOMPARE(picture.size(), QSize(48, 48));
    const QImage shown =
        action->icon().pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown, picture.convertToFormat(QImage::Format_ARGB32));
}

void TestMainWindow::clickingRowsSwitchesLoadActions()
{
    auto *view = child<QTreeView>(window, "treeView");
    auto *model = qobject_cast<QStandardItemModel *>(view->model());
    QList<QStandardItem *> machine = row("M1");
    machine.first()->appendRow(row("*S1"));
    machine.first()->appendRow(row("S2"));
    model->appendRow(machine);
    view->expandAll();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *brief = child<QAction>(window, "actionBriefLoad");
    auto *full = child<QAction>(window, "actionFullLoad");

    const QModelIndex machineIndex = model->index(0, 0);
    const QModelIndex deviceIndex = model->index(1, 0, machineIndex);
    auto click = [&](const QModelIndex &index) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          view->visualRect(index).center());
    };
    click(machineIndex);
    QVERIFY(!brief->isEnabled() && !full->isEnabled());
    click(deviceIndex);
    QVERIFY(brief->isEnabled() && full->isEnabled());
    // Each click toggles its own row: the device row is selected again with the machine row.
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    click(machineIndex); // deselects the machine row; still a machine row click
    QVERIFY(!brief->isEnabled() && !full->isEnabled());
    // A click on another column of a device row counts as the device row.
    click(model->index(0, 4, machineIndex));
    QVERIFY(brief->isEnabled() && full->isEnabled());
    // Keyboard moves leave the actions as the last click set them.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(view->currentIndex().row(), 0);
    QVERIFY(brief->isEnabled() && full->isEnabled());
}

void TestMainWindow::setupActionRunsSetupDialog()
{
    ModalAnswerer answerer;
    answerer.pressButton(QMessageBox::Cancel);
    child<QAction>(window, "actionSetup")->trigger();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.last().className, QStringLiteral("SetupDialog"));
    QCOMPARE(answerer.last().title, QStringLiteral("Setup"));
    // Scheduled for deletion once the modal run ends.
    const auto dialogLeft = [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<SetupDialog *>(w))
                return true;
        return false;
    };
    QTRY_VERIFY(!dialogLeft());
}

void TestMainWindow::transferProgressInStatusBar()
{
    window->show();
    auto *bar = child<QProgressBar>(window, "progressTransfer");
    QVERIFY(bar->isHidden());
    QVERIFY(window->statusBar()->isAncestorOf(bar));
    Server *server = child<Server>(window, "");

    emit server->transferProgress(0, 0);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 0); // busy indicator while the total is unknown

    emit server->transferProgress(250000000, 1000000000);
    QCOMPARE(bar->maximum(), TransferProgressSteps);
    QCOMPARE(bar->value(), TransferProgressSteps / 4);
    QVERIFY2(bar->format().startsWith(QStringLiteral("250.0 / 1000.0 MB, ")),
             qPrintable(bar->format()));
    QCOMPARE(bar->toolTip(), bar->format());

    emit server->transferFinished();
    QVERIFY(bar->isHidden());
    // A new transfer starts over.
    emit server->transferProgress(1000, 0);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 0);
}

void TestMainWindow::progressText_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("moved");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("text");
    const auto add = [](const char *row, qint64 done, qint64 total, qint64 moved, qint64 ms,
                        int step, const char *text) {
        QTest::newRow(row) << done << total << moved << ms << step << QString(text);
    };
    add("nothing yet", 0, 0, 0, 0, 0, "0.0 MB, 0.0 MB/s");
    add("total unknown", 5000000, 0, 5000000, 2000, 0, "5.0 MB, 2.5 MB/s");
    add("half", 500000, 1000000, 500000, 500, 500, "0.5 / 1.0 MB, 1.0 MB/s");
    add("rate from moved bytes only", 3000000, 4000000, 1000000, 1000, 750,
        "3.0 / 4.0 MB, 1.0 MB/s");
    add("more than total", 11, 10, 11, 1, TransferProgressSteps, "0.0 / 0.0 MB, 0.0 MB/s");
    // 8 TiB disk: no overflow in the step.
    add("whole large disk", qint64(4) << 40, qint64(8) << 40, 0, 1000, 500,
        "4398046.5 / 8796093.0 MB, 0.0 MB/s");
    add("no clock", 10, 100, 10, 0, 100, "0.0 / 0.0 MB, 0.0 MB/s");
}

void TestMainWindow::progressText()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(qint64, moved);
    QFETCH(qint64, elapsedMs);
    QFETCH(int, step);
    QFETCH(QString, text);
    QCOMPARE(transferProgressStep(done, total), step);
    QCOMPARE(transferProgressText(done, total, moved, elapsedMs), text);
}

void TestMainWindow::fileListThinning_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("later");
    QTest::newRow("inside longer names, not across separators, case") << "a.img|img|im|g|A.IMG|x|xa"
                                                                      << "xa.imx|b.im|g";
    QStringList first, later;
    for (int i = 0; i < 3000; ++i) {
        first << QStringLiteral("f%1.img").arg(i);
        later << QString(i % 3 ? "f%1.img.old" : "g%1.img").arg(i);
    }
    QTest::newRow("thousands") << first.join('|') << later.join('|');
}

void TestMainWindow::fileListThinning()
{
    QFETCH(QString, first);
    QFETCH(QString, later);
    // The rule: an entry of the first answer stays while its text occurs in the later one.
    QStringList kept;
    for (const QString &name : first.split('|'))
        if (later.contains(name))
            kept << name;
    window->reflashFiles(first);
    window->reflashFiles(later);
    QStringList shown;
    for (const QListWidgetItem *item :
         child<QListWidget>(window, "listWidgetFiles")->findItems("*", Qt::MatchWildcard))
        shown << item->text();
    QCOMPARE(shown, kept);
}

void TestMainWindow::closingWhenIdleDestroysWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(window->close());
    QTRY_VERIFY(window.isNull());
}

void TestMainWindow::summaryReadsAtAGlance()
{
    auto *view = child<QTreeView>(window, "treeView");
    auto *model = qobject_cast<QStandardItemModel *>(view->model());
    auto *delegate = qobject_cast<ProgressDelegate *>(view->itemDelegate());
    QVERIFY(delegate);
    QList<QStandardItem *> machine = row("M1");
    model->appendRow(machine);
    machine.at(Client::IndexStatus)->setText("COPY");
    const S statuses{"", "OK", "NG", "SOURCE"};
    for (const QString &status : statuses) {
        QList<QStandardItem *> device = row("P");
        machine.first()->appendRow(device);
        device.at(Client::IndexStatus)->setText(status);
        device.at(Client::IndexPercentage)->setText(status == "SOURCE" ? "" : "57%");
    }
    const auto cell = [&](int device, int column) {
        return model->index(device, column, model->index(0, 0));
    };
    const auto foreground = [&](int device) {
        return cell(device, Client::IndexStatus).data(Qt::ForegroundRole).value<QBrush>().color();
    };
    QCOMPARE(foreground(1), QColor(0x1b, 0x7f, 0x2a));
    QCOMPARE(foreground(2), QColor(0xc6, 0x28, 0x28));
    QVERIFY(!cell(0, Client::IndexStatus).data(Qt::ForegroundRole).isValid());
    QCOMPARE(cell(1, Client::IndexStatus).data().toString(), QString("OK"));
    QCOMPARE(delegate->toolTip(model->index(0, Client::IndexStatus)),
             QString("OK: 1, NG: 1, in progress: 1"));
    QCOMPARE(delegate->toolTip(cell(0, Client::IndexPercentage)), QString()); // no rate yet

    // The device in progress gets a bar up to 57 % under its text; a passed one plain text.
    const auto painted = [&](int device) {
        QImage image(200, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = image.rect();
        delegate->paint(&painter, option, cell(device, Client::IndexPercentage));
        return QPair<QRgb, QRgb>(image.pixel(40, 10), image.pixel(170, 10));
    };
    QVERIFY(painted(0).first != painted(0).second);
    QCOMPARE(painted(1).first, QColor(Qt::white).rgb());
    model->itemFromIndex(cell(1, Client::IndexStatus))->setText("Verifying");
    QVERIFY(!cell(1, Client::IndexStatus).data(Qt::ForegroundRole).isValid());
    QVERIFY(painted(1).first != painted(1).second);

    // Rate and time left over the last minute of progress lines, nothing before the second line.
    ProgressRate rates;
    ProgressDelegate rated([&](const QModelIndex &device, ProgressRate::Estimate &estimate) {
        return rates.estimate(device.row(), estimate);
    });
    rates.sample(0, 0, 1000, 0);
    rates.sample(1, 50, 1000, 0);
    QCOMPARE(rated.toolTip(cell(0, Client::IndexPercentage)), QString());
    rates.sample(0, 0, 1000, 30000);
    rates.sample(0, 100, 1000, 90000);
    rates.sample(1, 50, 1000, 5000);
    QCOMPARE(rated.toolTip(cell(0, Client::IndexPercentage)),
             QString("Rate: 10.0 % per minute\nTime left: 0:09:00"));
    QCOMPARE(rated.toolTip(cell(1, Client::IndexPercentage)),
             QString("Rate: 0.0 % per minute\nTime left: unknown"));
}

TARN_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
