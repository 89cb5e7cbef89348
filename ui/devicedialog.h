#pragma once

#include <QDialog>
#include <QStringList>

class QStringListModel;

namespace Ui {
class devicedialog;
}

// Lets the operator pick one device name out of several; returns the name, not a position.
class devicedialog : public QDialog
{
    Q_OBJECT

public:
    explicit devicedialog(QWidget *parent = nullptr);
    ~devicedialog() override;

    void setDeviceName(QStringList list);
    bool bIsOKAcceepted();
    QString getDeviceName();

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    Ui::devicedialog *ui;
    QStringListModel *deviceModel = nullptr;
    QString selectedDeviceName;
    bool bOkAccepted = false;
};
