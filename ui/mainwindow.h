#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

class QAbstractButton;
class QCloseEvent;
class QModelIndex;
class QProgressBar;
class QStandardItem;
class QStandardItemModel;
class Server;

namespace Ui {
class MainWindow;
}

// The console's one window: the summary tree of machines, the global log, the Files tab, and the
// tool bar from which every operator action starts.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

public slots:
    void reflashFiles(QString &str);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_treeView_clicked(const QModelIndex &index);
    void on_actionSetup_triggered();
    void on_actionBriefLoad_triggered();
    void on_actionFullLoad_triggered();
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_actionUpload_triggered();
    void on_actionReflash_Files_triggered();

private:
    bool isBusy();
    void loadDevice(bool isFull);
    void setImageFileName(const QString &chosenName, int tabCount);
    void uploadImageFile(const QString &chosenName, int tabCount);
    void applyFilesTabRule(int tabCount);
    void showErrorBox(const QString &text);
    void showWarningBox(const QString &text);
    void appendLog(const QString &text);
    void showTransferProgress(qint64 done, qint64 total);
    void hideTransferProgress();

    Ui::MainWindow *ui;
    Server *cmdServer = nullptr;
    QStandardItemModel *modelMachines = nullptr;
    QStandardItem *rootStandardItem = nullptr;
    QStringList clientFileList;

    QProgressBar *progressTransfer = nullptr;
    QElapsedTimer transferClock;
    qint64 transferStartBytes = 0;
};
