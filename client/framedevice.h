#pragma once

#include <QFrame>

class QTextBrowser;

namespace Ui {
class FrameDevice;
}

// The pages of one machine's tab: status, settings, log and the files it holds.
class FrameDevice : public QFrame
{
    Q_OBJECT

public:
    explicit FrameDevice(QWidget *parent = nullptr);
    ~FrameDevice() override;

    void log(QString &str);
    void clearLog();
    void updateStatus(QString &str);
    void addSettings(QString &str);
    void clearSettings();
    QTextBrowser *getLogBrowser();
    void reflashFiles(QString &str);

private:
    Ui::FrameDevice *ui;
    bool statusFilled = false;
};
