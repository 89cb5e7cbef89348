#include "ui/mainwindow.h"

#include "app/para.h"
#include "app/setupdialog.h"
#include "client/client.h"
#include "server/server.h"
#include "ui/transferprogress.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>

namespace {
// The tabs that always exist: "Machines Summary", "Global Log", "Files".
constexpr int FixedTabCount = 3;
constexpr int SummaryTab = 0;
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
    ui->logGlobal->moveCursor(QTextCursor::End);
    ui->logGlobal->insertPlainText(text);
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
        ui->listWidgetFiles->clear();
        ui->listWidgetFiles->addItems(names);
        return;
    }
    // Later answers only thin the list out: it keeps the names every machine reported.
    for (int row = ui->listWidgetFiles->count() - 1; row >= 0; --row) {
        if (!str.contains(ui->listWidgetFiles->item(row)->text()))
            delete ui->listWidgetFiles->takeItem(row);
    }
}
