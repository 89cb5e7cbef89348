#include "ui/mainwindow.h"

#include "app/para.h"
#include "app/setupdialog.h"
#include "client/client.h"
#include "client/globallog.h"
#include "server/server.h"
#include "ui/devicedialog.h"
#include "ui/dispatchlist.h"
#include "ui/progressdelegate.h"
#include "ui/substringindex.h"
#include "ui/summarystyle.h"
#include "ui/transferprogress.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>

#include <optional>

namespace {
// The tabs that always exist: "Machines Summary", "Global Log", "Files".
constexpr int FixedTabCount = 3;
constexpr int SummaryTab = 0;
constexpr int ImageNameMessageMs = 3000;
constexpr int FileListMessageMs = 30000;
const QChar SourceMark = QLatin1Char('*');
const QChar Space = QLatin1Char(' ');

QList<QPersistentModelIndex> toPersistent(const QModelIndexList &indexes)
{
    QList<QPersistentModelIndex> persistent;
    for (const QModelIndex &index : indexes)
        persistent << QPersistentModelIndex(index);
    return persistent;
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), modelMachines(new QStandardItemModel(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    ui->setupUi(this);

    // Machine data, not interface text: the header stays untranslated.
    modelMachines->setHorizontalHeaderLabels(
        {QStringLiteral("Index"), QStringLiteral("ModelName"), QStringLiteral("VendorName"),
         QStringLiteral("Capacity"), QStringLiteral("Status"), QStringLiteral("Percentage"),
         QStringLiteral("Note")});
    rootStandardItem = modelMachines->invisibleRootItem();
    ui->treeView->setModel(modelMachines);
    // Without it the view recomputes row heights on every status update.
    ui->treeView->setUniformRowHeights(true);
    ui->treeView->setItemDelegate(new ProgressDelegate(
        ProgressDelegate::machineRates([this] { return cmdServer; }), ui->treeView));
    SummaryStyle::followResultColors(modelMachines);

    cmdServer = new Server(ui->logGlobal, para.tcpport, rootStandardItem, ui->tabWidget, this);

    ui->buttonBox->button(QDialogButtonBox::Save)->setText(tr("Upload"));
    ui->buttonBox->button(QDialogButtonBox::Apply)->setText(tr("Apply"));
    ui->actionReflash->setToolTip(tr("Connection"));

    connect(cmdServer, &Server::expandTreeView, ui->treeView, &QTreeView::expandAll);
    connect(ui->actionReflash, &QAction::triggered, cmdServer, &Server::reflashClients);
    connect(ui->actionAbort, &QAction::triggered, cmdServer, &Server::localAbort);
    connect(ui->actionCopy, &QAction::triggered, cmdServer, &Server::askForCopy);
    connect(ui->actionResize, &QAction::triggered, cmdServer, &Server::askForResize);
    connect(ui->actionCompare, &QAction::triggered, cmdServer, &Server::askForCompare);
    connect(ui->actionVerify, &QAction::triggered, cmdServer, &Server::askForVerify);
    connect(ui->actionErase, &QAction::triggered, cmdServer, &Server::askForErase);
    connect(cmdServer, &Server::reflashFiles, this, &MainWindow::reflashFiles);

    progressTransfer = new QProgressBar(ui->statusBar);
    progressTransfer->setObjectName(QStringLiteral("progressTransfer"));
    progressTransfer->hide();
    ui->statusBar->addPermanentWidget(progressTransfer);
    connect(cmdServer, &Server::transferProgress, this, &MainWindow::showTransferProgress);
    connect(cmdServer, &Server::transferFinished, this, &MainWindow::hideTransferProgress);
}

MainWindow::~MainWindow()
{
    // The server and its machines still write into the tree and the tabs while they go, so
    // they go before the widgets and the model, not after them as children would.
    delete cmdServer;
    delete ui;
}

bool MainWindow::isBusy()
{
    return cmdServer->isBusy() || Client::isBusy();
}

void MainWindow::applyFilesTabRule(int tabCount)
{
    ui->tabWidget->setCurrentIndex(tabCount > FixedTabCount ? tabCount - 1 : SummaryTab);
}

void MainWindow::showErrorBox(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, tr("Error"), text, QMessageBox::Ok);
    box.exec();
}

void MainWindow::showWarningBox(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, tr("WARNING"), text, QMessageBox::Close);
    box.exec();
}

void MainWindow::appendLog(const QString &text)
{
    GlobalLog::append(ui->logGlobal, text);
}

void MainWindow::showTransferProgress(qint64 done, qint64 total)
{
    if (progressTransfer->isHidden()) {
        transferClock.start();
        transferStartBytes = done;
        progressTransfer->show();
    }
    if (total > 0)
        progressTransfer->setRange(0, TransferProgressSteps);
    else
        progressTransfer->setRange(0, 0); // busy indicator until the total is known
    progressTransfer->setValue(transferProgressStep(done, total));
    const QString text =
        transferProgressText(done, total, done - transferStartBytes, transferClock.elapsed());
    progressTransfer->setFormat(text);
    // A busy indicator shows no text; the tool tip still tells that data moves.
    progressTransfer->setToolTip(text);
}

void MainWindow::hideTransferProgress()
{
    progressTransfer->hide();
    progressTransfer->reset();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (isBusy()) {
        const QString text = tr("Can't close window because server is busy!\nPlease abort first\n");
        QMessageBox box(QMessageBox::Warning, tr("WARNING"), text, QMessageBox::Ok);
        box.exec();
        appendLog(text);
        event->ignore();
        return;
    }
    cmdServer->abortClientsConnection();
    event->accept();
}

void MainWindow::on_treeView_clicked(const QModelIndex &index)
{
    // Only a device row can be loaded.
    const bool isDevice = index.parent().isValid();
    ui->actionFullLoad->setEnabled(isDevice);
    ui->actionBriefLoad->setEnabled(isDevice);
}

void MainWindow::on_actionSetup_triggered()
{
    auto *dialog = new SetupDialog();
    dialog->exec();
    dialog->deleteLater();
}

void MainWindow::reflashFiles(QString &str)
{
    const QStringList names = str.split(QLatin1Char('|'));
    clientFileList = names;
    if (ui->listWidgetFiles->count() == 0) {
        ui->listWidgetFiles->addItems(names);
        return;
    }
    // Later answers only thin the list out: an entry stays while its text occurs anywhere in
    // every answer, also inside a longer name. A name of the answer is found in its set; only an
    // entry that is none needs the index of the whole text, built once.
    const QSet<QString> answered(names.begin(), names.end());
    std::optional<SubstringIndex> answer;
    for (int row = ui->listWidgetFiles->count() - 1; row >= 0; --row) {
        const QString entry = ui->listWidgetFiles->item(row)->text();
        if (answered.contains(entry))
            continue;
        if (!answer)
            answer.emplace(str);
        if (!answer->contains(entry))
            delete ui->listWidgetFiles->takeItem(row);
    }
}

void MainWindow::on_actionBriefLoad_triggered()
{
    loadDevice(false);
}

void MainWindow::on_actionFullLoad_triggered()
{
    loadDevice(true);
}

void MainWindow::loadDevice(bool isFull)
{
    if (isBusy()) {
        showErrorBox(tr("server is busy!"));
        return;
    }
    const QModelIndexList selected = ui->treeView->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        ui->tabWidget->setCurrentIndex(SummaryTab);
        showErrorBox(cmdServer->isClientEmpty()
                         ? tr("Please press the Connection button to connect the machine.!")
                         : tr("Please select any one Device!"));
        return;
    }

    // Persistent: a machine may go, and its rows with it, while the device dialog is open.
    QList<QPersistentModelIndex> foundDevices;
    QStringList deviceNames;
    for (const QModelIndex &index : selected) {
        if (index.column() != Client::IndexDisplayName)
            continue;
        const QString text = modelMachines->itemFromIndex(index)->text();
        if (!index.parent().isValid()) {
            appendLog(tr("Machine ID found : %1 \n").arg(text));
            continue;
        }
        appendLog(tr("Device found : %1 \n").arg(text));
        foundDevices << QPersistentModelIndex(index);
        deviceNames << text;
    }
    QPersistentModelIndex chosen = foundDevices.value(0);

    if (foundDevices.size() > 1) {
        auto *dialog = new devicedialog(this);
        dialog->setDeviceName(deviceNames);
        dialog->exec();
        const QString chosenName = dialog->bIsOKAcceepted() ? dialog->getDeviceName() : QString();
        dialog->deleteLater();
        if (chosenName.isEmpty()) {
            showErrorBox(tr("Please select one Device!"));
            return;
        }
        for (const QPersistentModelIndex &device : qAsConst(foundDevices)) {
            if (device.isValid() && modelMachines->itemFromIndex(device)->text() == chosenName) {
                chosen = device;
                break;
            }
        }
    }

    // Only machine rows were selected, or the chosen machine has gone meanwhile.
    Client *client = chosen.isValid() && chosen.parent().isValid()
                         ? cmdServer->findClient(chosen.parent().row())
                         : nullptr;
    if (!client) {
        showErrorBox(tr("Please select any one Device!"));
        return;
    }
    const QString deviceName = chosen.data().toString();
    ui->statusBar->showMessage(isFull ? tr("Send full image to Server...")
                                      : tr("Send image to Server..."));
    ui->tabWidget->setCurrentIndex(SummaryTab);
    client->sendImageToServer(deviceName, isFull);
    // The transfer is over however it ended.
    hideTransferProgress();
    ui->tabWidget->setCurrentIndex(SummaryTab);
    ui->statusBar->clearMessage();
}

void MainWindow::on_buttonBox_clicked(QAbstractButton *button)
{
    const int tabCount = ui->tabWidget->count();
    applyFilesTabRule(tabCount);
    if (cmdServer->isClientEmpty()) {
        showErrorBox(tr("Please press the Connection button to connect the machine.!"));
        return;
    }
    if (ui->listWidgetFiles->count() == 0) {
        showErrorBox(tr("Please select Device and Refresh files!"));
        return;
    }
    const QList<QListWidgetItem *> selectedFiles = ui->listWidgetFiles->selectedItems();
    if (selectedFiles.size() != 1) {
        showWarningBox(tr("Please Select One File!"));
        return;
    }
    // The text, not the entry: a file list arriving under a later box may replace the entries.
    const QString chosenName = selectedFiles.first()->text();
    switch (ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Apply:
        setImageFileName(chosenName, tabCount);
        break;
    case QDialogButtonBox::Save:
        uploadImageFile(chosenName, tabCount);
        break;
    default:
        break;
    }
}

void MainWindow::setImageFileName(const QString &chosenName, int tabCount)
{
    if (chosenName.isEmpty()) {
        showWarningBox(tr("Please Select File!"));
        return;
    }
    const int found = clientFileList.indexOf(chosenName);
    if (found < 0) {
        showWarningBox(tr("File Not found!"));
        return;
    }
    const QString fileName = clientFileList.at(found);
    if (fileName.contains(Space)) {
        showWarningBox(tr("Please Check file name!\nCan not contain space!"));
        return;
    }
    QString command = QLatin1String("S ") + fileName + QLatin1Char('\n');
    cmdServer->write(command);
    ui->tabWidget->setCurrentIndex(SummaryTab);
    ui->statusBar->showMessage(tr("Ask for set image file name %1").arg(chosenName),
                               ImageNameMessageMs);
    applyFilesTabRule(tabCount);
    ui->statusBar->clearMessage();
}

void MainWindow::uploadImageFile(const QString &chosenName, int tabCount)
{
    if (isBusy()) {
        showErrorBox(tr("server is busy!"));
        return;
    }
    if (chosenName.isEmpty()) {
        showWarningBox(tr("Please Select File!"));
        return;
    }
    QItemSelectionModel *selection = ui->treeView->selectionModel();
    QModelIndexList rows = selection->selectedRows();
    QModelIndex chosen;
    if (!rows.isEmpty()) {
        chosen = rows.first();
    } else {
        // Nothing chosen: the machine that holds the file is the one with a source device.
        ui->treeView->selectAll();
        rows = selection->selectedRows();
        if (rows.isEmpty())
            return;
        for (const QModelIndex &row : qAsConst(rows)) {
            if (modelMachines->itemFromIndex(row)->text().contains(SourceMark)) {
                chosen = row;
                break;
            }
        }
        if (!chosen.isValid()) {
            selection->clearSelection();
            showWarningBox(tr("Please Select Machine Device!"));
            return;
        }
    }
    const QString deviceName = chosen.data().toString();
    // A machine row has no machine above it to send the file.
    Client *client =
        chosen.parent().isValid() ? cmdServer->findClient(chosen.parent().row()) : nullptr;

    const int found = clientFileList.indexOf(chosenName);
    if (found < 0) {
        selection->clearSelection();
        showWarningBox(tr("File Not found!"));
        return;
    }
    selection->clearSelection();
    if (chosenName.contains(Space)) {
        showWarningBox(tr("Please Check file name!\nCan not contain space!"));
        return;
    }
    if (!client) {
        showWarningBox(tr("Please Select Machine Device!"));
        return;
    }
    ui->statusBar->showMessage(tr("UpLoad image file %1 to Server...").arg(chosenName));
    ui->tabWidget->setCurrentIndex(SummaryTab);
    client->sendImageFileToServer(deviceName, clientFileList.at(found));
    hideTransferProgress();
    applyFilesTabRule(tabCount);
    ui->statusBar->clearMessage();
}

void MainWindow::on_actionUpload_triggered()
{
    if (isBusy()) {
        showErrorBox(tr("server is busy!"));
        return;
    }
    ui->tabWidget->setCurrentIndex(SummaryTab);
    if (cmdServer->isClientEmpty()) {
        showErrorBox(tr("Please press the Connection button to connect the machine.!"));
        return;
    }

    QItemSelectionModel *selection = ui->treeView->selectionModel();
    QModelIndexList rows = selection->selectedRows();
    const bool isOperatorChoice = !rows.isEmpty();
    if (!isOperatorChoice) {
        ui->treeView->selectAll();
        // Persistent: machines may come and go while the question is open.
        const QList<QPersistentModelIndex> allRows = toPersistent(selection->selectedRows());
        if (allRows.isEmpty())
            return;
        QMessageBox ask(QMessageBox::Information, tr("Ask Range"),
                        tr("Would you like to dispatch to all machines connected?"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        if (ask.exec() != QMessageBox::Ok) {
            selection->clearSelection();
            return;
        }
        rows.clear();
        for (const QPersistentModelIndex &row : allRows)
            if (row.isValid())
                rows << row;
    }
    DispatchTargets targets = dispatchTargets(rows, isOperatorChoice);

    ui->statusBar->showMessage(tr("Send image to all clients..."));
    ui->tabWidget->setCurrentIndex(SummaryTab);
    cmdServer->sendImageToClients(targets.dispatchList, targets.selectedDevices);
    hideTransferProgress();
    ui->tabWidget->setCurrentIndex(SummaryTab);
    ui->statusBar->clearMessage();
}

void MainWindow::on_actionReflash_Files_triggered()
{
    applyFilesTabRule(ui->tabWidget->count());
    if (cmdServer->isClientEmpty()) {
        showErrorBox(tr("Please press the Connection button to connect the machine.!"));
        return;
    }
    ui->listWidgetFiles->clear();
    QString command = QStringLiteral("R\n");
    cmdServer->write(command);
    ui->statusBar->showMessage(tr("reading file lists from all machines..."), FileListMessageMs);
}
