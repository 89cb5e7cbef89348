#include <QtTest>
#include <QtWidgets>

#include "app/para.h"
#include "client/client.h"
#include "server/server.h"
#include "testkit/loopbackport.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"
#include "transfer/transferlimits.h"
#include "ui/dispatchlist.h"
#include "ui/mainwindow.h"
#include "ui/progressdelegate.h"
#include "ui/transferprogress.h"

using S = QStringList;

namespace {
// What the operator triggers: actions by object name, the Files tab's buttons by their role.
const char *const BriefLoad = "actionBriefLoad";
const char *const FullLoad = "actionFullLoad";
const char *const Dispatch = "actionUpload";
const char *const RefreshFiles = "actionReflash_Files";
const char *const ApplyButton = "Apply";
const char *const UploadButton = "Save";
constexpr int WaitMs = 10000;
// Time limits shrink to 0.4%: a load that nobody serves gives up within about a second.
constexpr int TestMsPerSecond = 4;
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Nothing here may announce on a real network.
        Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
        TransferLimits::setMsPerSecond(TestMsPerSecond);
        para.save(Para::paraDefault);
        para.tcpport = freePortPair();
        QVERIFY(para.tcpport && workDir.isValid());
        window = new MainWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanup()
    {
        delete window;
        qDeleteAll(peers);
        peers.clear();
        QTRY_VERIFY(!Client::isBusy());
    }
    void transferProgress_data()
    {
        // Bytes done, total, moved since the start, ms; the text; the bar's step.
        QTest::addColumn<QString>("row");
        QTest::newRow("total unknown") << QString("5000000 0 5000000 2000|5.0 MB, 2.5 MB/s|0");
        QTest::newRow("rate from moved bytes only")
            << QString("3000000 4000000 1000000 1000|3.0 / 4.0 MB, 1.0 MB/s|750");
        QTest::newRow("more than total") << QString("11 10 11 1|0.0 / 0.0 MB, 0.0 MB/s|1000");
        // 8 TiB disk: no overflow in the step.
        QTest::newRow("whole large disk")
            << QString("4398046511104 8796093022208 0 1000|4398046.5 / 8796093.0 MB, 0.0 MB/s|500");
        QTest::newRow("no clock") << QString("10 100 10 0|0.0 / 0.0 MB, 0.0 MB/s|100");
    }
    void transferProgress()
    {
        QFETCH(QString, row);
        QList<qint64> n;
        for (const QString &number : row.section('|', 0, 0).split(' '))
            n << number.toLongLong();
        QCOMPARE(transferProgressText(n[0], n[1], n[2], n[3]) + '|' +
                     QString::number(transferProgressStep(n[0], n[1])),
                 row.section('|', 1));
    }
    void fileListThinning_data()
    {
        // The first answer fills the list; an entry stays while its text occurs in every later one.
        QTest::addColumn<S>("answers");
        QTest::addColumn<S>("kept");
        QTest::newRow("inside longer names, not across separators, case")
            << S{"a.img|img|im|g|A.IMG|x|xa", "xa.imx|b.im|g"} << S{"im", "g", "x", "xa"};
        QTest::newRow("empty entries kept")
            << S{"a.img|", "a.img", "a.img|b.img"} << S{"a.img", ""};
        QTest::newRow("empty answer") << S{"a.img|b.img", ""} << S();
        S first, later;
        for (int i = 0; i < 3000; ++i) {
            first << QStringLiteral("f%1.img").arg(i);
            later << QString(i % 3 ? "f%1.img.old" : "g%1.img").arg(i);
        }
        QTest::newRow("thousands") << S{first.join('|'), later.join('|')}
                                   << later.filter(".old").replaceInStrings(".old", "");
    }
    void fileListThinning()
    {
        QFETCH(S, answers);
        QFETCH(S, kept);
        for (const QString &answer : answers)
            answerFiles(answer);
        S shown;
        for (int row = 0; row < files()->count(); ++row)
            shown << files()->item(row)->text();
        QCOMPARE(shown, kept);
    }
    // Results read at a glance: passed green, failed red, a bar under a running device's
    // percentage; the machine's tool tip counts them, a device's tells its rate and time left.
    // Only a click on a device row enables the loads.
    void summaryReadsAtAGlance()
    {
        QVERIFY(addMachine("M1", {"P0", "P1", "P2", "P3"}));
        QAbstractItemModel *model = tree()->model();
        const QModelIndex machine = rowOf("M1");
        const auto cell = [&](int device, int column = Client::IndexStatus) {
            return model->index(device, column, machine);
        };
        model->setData(machine.siblingAtColumn(Client::IndexStatus), "COPY");
        S colours;
        for (const QString &status : S{"", "OK", "NG", "SOURCE"}) {
            const int device = colours.size();
            model->setData(cell(device), status);
            model->setData(cell(device, Client::IndexPercentage), status == "SOURCE" ? "" : "57%");
            colours << cell(device).data(Qt::ForegroundRole).value<QColor>().name();
        }
        QCOMPARE(colours, S({"#000000", "#1b7f2a", "#c62828", "#000000"}));
        auto *delegate = static_cast<ProgressDelegate *>(tree()->itemDelegate());
        QCOMPARE(delegate->toolTip(machine.siblingAtColumn(Client::IndexStatus)),
                 QString("OK: 1, NG: 1, in progress: 1"));
        tree()->expandAll();
        tree()->setColumnWidth(Client::IndexPercentage, 200);
        const auto barred = [&](int device) { // as the tree shows it: a fifth in, left of centre
            const QRect shown = tree()->visualRect(cell(device, Client::IndexPercentage));
            const QImage image = tree()->viewport()->grab(shown).toImage();
            return image.pixel(40, shown.height() / 2) != image.pixel(170, shown.height() / 2);
        };
        QVERIFY(barred(0) && !barred(1));
        model->setData(cell(1), "Verifying");
        QVERIFY(!cell(1).data(Qt::ForegroundRole).isValid() && barred(1));

        const auto click = [&](const QModelIndex &index) {
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                              tree()->visualRect(index).center());
            return int(window->findChild<QAction *>(BriefLoad)->isEnabled()) +
                   int(window->findChild<QAction *>(FullLoad)->isEnabled());
        };
        // The second machine row click deselects it, still a machine row click; a device row
        // counts by any column.
        QCOMPARE(QList<int>({click(machine), click(cell(2, 0)), click(machine), click(cell(2))}),
                 QList<int>({0, 2, 0, 2}));

        // Over the last minute of progress lines, nothing before the second line.
        ProgressRate rates;
        ProgressDelegate rated([&](const QModelIndex &device, ProgressRate::Estimate &estimate) {
            return rates.estimate(device.row(), estimate);
        });
        const auto tips = [&](const QList<int> &samples) { // device, percent, ms
            for (int i = 0; i < samples.size(); i += 3)
                rates.sample(samples.at(i), samples.at(i + 1), 1000, samples.at(i + 2));
            return rated.toolTip(cell(0, Client::IndexPercentage)) + '|' +
                   rated.toolTip(cell(1, Client::IndexPercentage));
        };
        QCOMPARE(tips({0, 0, 0, 1, 50, 0}), QString("|"));
        QCOMPARE(tips({0, 0, 30000, 0, 100, 90000, 1, 50, 5000}),
                 QString("Rate: 10.0 % per minute\nTime left: 0:09:00|Rate: 0.0 % per minute\nTime "
                         "left: unknown"));
        rates.clear(); // past an hour the minutes stay minutes
        QCOMPARE(tips({0, 0, 0, 0, 10, 60000}),
                 QString("Rate: 1.0 % per minute\nTime left: 1:39:00|"));
    }
    void refusals_data()
    {
        // What is triggered; file lists of the machine, ";" between, "-" for no machine; the
        // selected entry, "-" for none; chosen tree rows or "collapsed"; title and text of the
        // box and its buttons, answered by the last; the tab shown afterwards.
        QTest::addColumn<S>("row");
        const auto row = [](const QString &name, const char *what, const char *answers,
                            const char *file, const char *rows, const QString &box,
                            const char *tab) {
            QTest::newRow(qPrintable(name)) << S{what, answers, file, rows, box, tab};
        };
        // Nothing connected: each one refuses and points at Connection. Without machine tabs the
        // Files tab's buttons show the summary, as Refresh files does.
        for (const char *what :
             {BriefLoad, FullLoad, Dispatch, RefreshFiles, ApplyButton, UploadButton})
            row(what, what, "-", "-", "",
                "Error: Please press the Connection button to connect the machine.!|OK",
                "tabSummary");
        row("load, nothing selected", BriefLoad, "", "-", "",
            "Error: Please select any one Device!|OK", "tabSummary");
        // Machine rows are logged and never loaded themselves.
        row("load, machine row only", FullLoad, "", "-", "M1",
            "Error: Please select any one Device!|OK", "tabGlobalJournal");
        // Nothing chosen: all machines only if the operator agrees.
        row("dispatch, all declined", Dispatch, "", "-", "",
            "Ask Range: Would you like to dispatch to all machines connected?|OK,Cancel",
            "tabSummary");
        row("Apply: empty list", ApplyButton, "", "-", "",
            "Error: Please select Device and Refresh files!|OK", "tabFiles");
        row("Upload: nothing selected", UploadButton, "a.img|b.img", "-", "",
            "WARNING: Please Select One File!|Close", "tabFiles");
        for (const char *what : {ApplyButton, UploadButton}) {
            const QString button = QString::fromLatin1(what) + ": ";
            row(button + "empty name", what, "a.img|", "", "", "WARNING: Please Select File!|Close",
                "tabFiles");
            row(button + "name with space", what, "a.img|my file.img", "my file.img", "",
                "WARNING: Please Check file name!\nCan not contain space!|Close", "tabFiles");
            row(button + "only in the first answer", what, "a.img|b.img;a.img|bb.img", "b.img", "",
                "WARNING: File Not found!|Close", "tabFiles");
        }
        // Collapsed, the source device is not among the rows select-all reaches; a machine row
        // chosen by the operator has no machine above it to send from.
        for (const char *rows : {"collapsed", "M1"})
            row(QStringLiteral("Upload: no device, %1").arg(rows), UploadButton, "a.img", "a.img",
                rows, "WARNING: Please Select Machine Device!|Close", "tabFiles");
    }
    void refusals()
    {
        QFETCH(S, row);
        const QString what = row[0], answers = row[1], file = row[2], rows = row[3], box = row[4];
        if (answers != "-") {
            // A source: Upload gets as far as the file.
            QVERIFY(addMachine("M1", {"S1", "S2"}, "S2"));
            for (const QString &answer : answers.split(';', Qt::SkipEmptyParts))
                answerFiles(answer);
            peers[0]->clearReceived();
        }
        if (rows == "collapsed")
            tree()->collapseAll();
        choose(file, rows.split(';', Qt::SkipEmptyParts)); // "collapsed" and "-" choose nothing
        tabs()->setCurrentWidget(window->findChild<QWidget *>("tabGlobalJournal"));
        ModalAnswerer answerer;
        answerer.pressButtonText(box.section(',', -1).section('|', -1));
        trigger(what);
        QCOMPARE(answerer.pending(), 0);
        QCOMPARE(shown(answerer.last()), box);
        QCOMPARE(currentTab(), row[5]);
        QVERIFY(rows == "M1" || tree()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(peers.isEmpty() ||
                !ScriptedPeer::waitUntil([&] { return !peers[0]->received().isEmpty(); }, 100));
    }
    void loadsChosenDevice_data()
    {
        // What is triggered; the chosen rows; how the device dialog is answered ("-" none, OK on
        // its second entry, or a name the second entry is edited to before OK); the device
        // loaded and the index of its machine.
        QTest::addColumn<S>("row");
        QTest::newRow("brief, one device") << S{BriefLoad, "M1;M1/S2", "-", "S2", "0"};
        QTest::newRow("full, second chosen") << S{FullLoad, "M1/S1;M1/S2", "OK", "S2", "0"};
        QTest::newRow("edited name falls back to first found")
            << S{BriefLoad, "M1/S2;M1/S1", "S9", "S2", "0"};
        QTest::newRow("same name on two machines, second entry")
            << S{BriefLoad, "M2/S1;M1/S1", "OK", "S1", "1"};
    }
    void loadsChosenDevice()
    {
        QFETCH(S, row);
        const QString what = row[0], dialog = row[2], loaded = row[3];
        const int machine = row[4].toInt();
        QVERIFY(addMachine("M1", {"S1", "S2"}) && addMachine("M2", {"S1"}));
        answerFiles("a.img|b.img");
        choose("a.img", row[1].split(';'));
        tabs()->setCurrentIndex(2);
        // While the load waits for the machine, everything else that moves data is refused, and so
        // is closing the window; naming the image file makes no busy test.
        QString duringLoad; // the tab
        connect(peers.at(machine), &ScriptedPeer::dataReceived, this, [&] {
            if (!duringLoad.isEmpty())
                return;
            duringLoad = currentTab();
            emit server()->transferProgress(0, 0); // as a load reports before its table
            for (const char *other : {FullLoad, Dispatch, UploadButton, ApplyButton})
                trigger(other);
            QVERIFY(!window->close());
        });
        ModalAnswerer answerer;
        if (dialog != "-") {
            answerer.perform([&](QWidget *modal) {
                auto *list = modal->findChild<QListView *>("listView");
                const QModelIndex entry = list->model()->index(1, 0);
                // The entry with the focus frame counts, selected or not.
                list->selectionModel()->setCurrentIndex(entry, QItemSelectionModel::Clear);
                if (dialog != "OK")
                    list->model()->setData(entry, dialog);
                modal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
            });
        }
        // A file per row: should a load ever write one, the next save dialog would ask to replace
        // it.
        answerer.chooseFile(workDir.filePath(QTest::currentDataTag()));
        for (int box = 0; box < 4; ++box)
            answerer.pressButton(QMessageBox::Ok);
        trigger(what);
        QCOMPARE(answerer.pending(), 0);
        // The three data moves refused, then closing the window.
        S boxes;
        for (const ModalAnswerer::Seen &box : answerer.seen().mid(answerer.seen().size() - 4))
            boxes << shown(box);
        const QString refusal = "Can't close window because server is busy!\nPlease abort first\n";
        QCOMPARE(boxes.join(';'),
                 QString("Error: server is busy!|OK;").repeated(3) + "WARNING: " + refusal + "|OK");
        QCOMPARE(
            peers.at(machine)->receivedLines().value(0),
            QString("C %1 %2 %3").arg(loaded).arg(para.tcpport + 1).arg(what == FullLoad).toUtf8());
        QCOMPARE(peers.at(1 - machine)->received(), QByteArray("S a.img\n"));
        QCOMPARE(duringLoad, QStringLiteral("tabSummary"));
        // Nobody serves the transfer: the load ends within its (shortened) connect limit; the
        // progress goes with it, whatever it reported last, and the dialog goes too.
        QVERIFY(!Client::isBusy() && window->statusBar()->currentMessage().isEmpty() &&
                currentTab() == "tabSummary" &&
                window->findChild<QProgressBar *>("progressTransfer")->isHidden());
        QTRY_VERIFY(!window->findChild<QDialog *>("devicedialog"));
        // Now the window closes and lets every machine go.
        QVERIFY(window->close());
        QTRY_VERIFY(window.isNull());
        QTRY_VERIFY(!peers.at(0)->isConnected() && !peers.at(1)->isConnected());
    }
    // Apply names the file on every machine; Upload, nothing chosen, finds the machine with a
    // source device.
    void applyAndUpload()
    {
        // The operator clicked into the global log: the lines that come still show.
        auto *globalLog = window->findChild<QTextBrowser *>("logGlobal");
        globalLog->moveCursor(QTextCursor::Start);
        QVERIFY(addMachine("M1", {"S1"}) && addMachine("M2", {"S1", "S2"}, "S2"));
        QTRY_VERIFY(globalLog->textCursor().atEnd() && !globalLog->textCursor().atStart());
        tree()->expandAll();
        answerFiles("a.img|c.img");
        choose("c.img");
        trigger(ApplyButton);
        for (ScriptedPeer *peer : peers) {
            QVERIFY(peer->waitForReceived(8, WaitMs) && peer->received() == "S c.img\n");
            peer->clearReceived();
        }
        ModalAnswerer answerer;
        answerer.chooseFile(workDir.filePath("uploaded"));
        trigger(UploadButton);
        QCOMPARE(peers.at(1)->receivedLines().value(0),
                 QStringLiteral("C S2 %1 0 1 c.img").arg(para.tcpport + 1).toUtf8());
        QVERIFY(peers.at(0)->received().isEmpty() &&
                tree()->selectionModel()->selectedRows().isEmpty());
        // Machine tabs exist: the Files tab stays in front.
        QCOMPARE(currentTab(), QStringLiteral("tabFiles"));
    }

    // How the operator's choice of machines and devices becomes the dispatch: grouped by machine in
    // sorted order, each device once.
    void dispatchList_data()
    {
        // The rows ("machine" or "machine/device"), the dispatch list and the selected devices;
        // ";" between entries.
        QTest::addColumn<S>("row");
        QTest::newRow("two machines") << S{"M2/S1;M1/S2", "M1|S2;M2|S1", "M1|S2;M2|S1"};
        QTest::newRow("chosen machine rows are ignored") << S{"M1;M2/S1", "M2|S1", "M2|S1"};
        QTest::newRow("only machine rows chosen") << S{"M1;M2", "", ""};
        QTest::newRow("source device keeps its mark") << S{"M1/*S3", "M1|*S3", "M1|*S3"};
        QTest::newRow("device without a name is no selected device") << S{"M2/", "M2", ""};
        QTest::newRow("S10 above S1") << S{"M3/S10;M3/S1", "M3|S1|S10", "M3|S1;M3|S10"};
        QTest::newRow("machine case") << S{"m2/S5;M2/S1", "M2|S1;m2|S5", "M2|S1;m2|S5"};
        QTest::newRow("machine name prefix of another")
            << S{"M1/S1;M10/S1;M1/S2", "M10|S1;M1|S1|S2", "M10|S1;M1|S1;M1|S2"};
        QTest::newRow("device named inside machine name") << S{"N1/1;N1/S2", "N1|S2", "N1|1;N1|S2"};
        QTest::newRow("same device twice") << S{"M4/S1;M4/S1", "M4|S1", "M4|S1;M4|S1"};
        QTest::newRow("separator inside a device name") << S{"M5/S1|x", "M5|S1", "M5|S1|x"};
        // Not chosen but as select-all leaves them: machine rows, device rows of the expanded M1
        // only. Each machine brings all its devices, each device once.
        QTest::newRow("machine rows")
            << S{"M1;M1/S1;M1/S2;M1/*S3;M2;m2;M3", "M1|*S3|S1|S2;M2|S1;M3|S1|S10;m2|S5", "", "all"};
    }
    void dispatchList()
    {
        QFETCH(S, row);
        const auto list = [&](int field) { return row.at(field).split(';', Qt::SkipEmptyParts); };
        QStandardItemModel model;
        QHash<QString, QModelIndex> rowAt;
        for (const char *machine : {"M1,S1,S2,*S3", "M2,S1,", "m2,S5", "M3,S10,S1", "M10,S1",
                                    "N1,1,S2", "M4,S1,S1", "M5,S1|x"}) {
            const S names = QString::fromLatin1(machine).split(',');
            auto *item = new QStandardItem(names.first());
            model.appendRow(item);
            rowAt.insert(names.first(), item->index());
            for (const QString &device : names.mid(1)) {
                item->appendRow(new QStandardItem(device));
                rowAt.insert(names.first() + '/' + device,
                             item->child(item->rowCount() - 1)->index());
            }
        }
        QModelIndexList indexes;
        for (const QString &rowPath : list(0))
            indexes << rowAt.value(rowPath);
        const DispatchTargets targets = dispatchTargets(indexes, row.size() == 3);
        QCOMPARE(targets.dispatchList, list(1));
        QCOMPARE(targets.selectedDevices, list(2));
    }

private:
    void trigger(const QString &what)
    {
        if (auto *action = window->findChild<QAction *>(what))
            return action->trigger();
        window->findChild<QDialogButtonBox *>("buttonBox")
            ->button(what == ApplyButton ? QDialogButtonBox::Apply : QDialogButtonBox::Save)
            ->click();
    }
    // A machine with the given devices, the one named source marked as such.
    ScriptedPeer *addMachine(const QString &name, const S &ports, const QString &source = {})
    {
        auto *peer = new ScriptedPeer();
        peers << peer;
        if (!peer->connectTo(QHostAddress::LocalHost, static_cast<quint16>(para.tcpport)))
            return nullptr;
        peer->sendLine(QString("&M %1|Model|Vendor|1.0|%2|%3|END")
                           .arg(name, QString::number(ports.size()), ports.join('|')));
        if (!source.isEmpty())
            peer->sendLines({"&N", "source=" + source, "Settings End"});
        const QString last = name + '/' + (source.isEmpty() ? ports.last() : '*' + source);
        return ScriptedPeer::waitUntil([&] { return rowOf(last).isValid(); }, WaitMs) ? peer
                                                                                      : nullptr;
    }
    // "M1" names a machine row, "M1/S2" a device row (its text as shown, source mark included).
    QModelIndex rowOf(const QString &rowPath)
    {
        QAbstractItemModel *model = tree()->model();
        QModelIndex row;
        for (const QString &name : rowPath.split('/'))
            row = model->match(model->index(0, 0, row), Qt::DisplayRole, name, 1, Qt::MatchExactly)
                      .value(0);
        return row;
    }
    // The file of that name and the tree rows given, nothing else.
    void choose(const QString &file, const S &rowPaths = {})
    {
        files()->clearSelection();
        for (QListWidgetItem *item : files()->findItems(file, Qt::MatchExactly))
            item->setSelected(true);
        tree()->selectionModel()->clearSelection();
        for (const QString &rowPath : rowPaths)
            tree()->selectionModel()->select(rowOf(rowPath), QItemSelectionModel::Select |
                                                                 QItemSelectionModel::Rows);
    }
    void answerFiles(QString list) { emit server()->reflashFiles(list); }
    // Each box as "title: text|buttons", ";" between.
    static QString shown(const ModalAnswerer::Seen &box)
    {
        return box.title + ": " + box.text + '|' + box.buttons.join(',');
    }
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>("tabWidget"); }
    QString currentTab() const { return tabs()->currentWidget()->objectName(); }
    QTreeView *tree() const { return window->findChild<QTreeView *>("treeView"); }
    QListWidget *files() const { return window->findChild<QListWidget *>("listWidgetFiles"); }
    Server *server() const { return window->findChild<Server *>(); }

    QPointer<MainWindow> window;
    QList<ScriptedPeer *> peers;
    QTemporaryDir workDir;
};

TARN_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
