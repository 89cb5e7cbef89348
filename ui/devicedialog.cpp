#include "ui/devicedialog.h"

#include "ui_devicedialog.h"

#include <QPushButton>
#include <QStringListModel>

devicedialog::devicedialog(QWidget *parent) : QDialog(parent), ui(new Ui::devicedialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Ok"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    setWindowTitle(tr("Device Select"));
    ui->label->setText(tr("Please Select ONE Device"));
    bOkAccepted = false;
    selectedDeviceName.clear();
}

devicedialog::~devicedialog()
{
    delete ui;
}

void devicedialog::setDeviceName(QStringList list)
{
    deviceModel = new QStringListModel(list, this);
    ui->listView->setModel(deviceModel);
}

bool devicedialog::bIsOKAcceepted()
{
    return bOkAccepted;
}

QString devicedialog::getDeviceName()
{
    return selectedDeviceName;
}

void devicedialog::on_buttonBox_accepted()
{
    // The entry with the focus frame counts, selected or not.
    const QModelIndex current = ui->listView->currentIndex();
    selectedDeviceName = current.isValid() ? current.data(Qt::DisplayRole).toString() : QString();
    bOkAccepted = true;
    close();
}

void devicedialog::on_buttonBox_rejected()
{
    bOkAccepted = false;
    close();
}
