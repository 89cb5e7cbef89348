#include "app/setupdialog.h"

#include "app/para.h"
#include "ui_setupdialog.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
// Multicast needs a time-to-live beyond the local link before an address makes sense.
constexpr int LinkLocalTtl = 1;
} // namespace

SetupDialog::SetupDialog(QWidget *parent) : QDialog(parent), ui(new Ui::SetupDialog)
{
    ui->setupUi(this);
    setWindowTitle(tr("Setup"));
    ui->buttonBox->button(QDialogButtonBox::Apply)->setText(tr("Apply"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    ui->buttonBox->button(QDialogButtonBox::RestoreDefaults)->setText(tr("RestoreDefaults"));

    // Stored as shown, so not translated: 2 to 64 sectors of 512 bytes, then one image slice
    // of 2047 sectors.
    ui->comboBoxBlockSize->addItems({QStringLiteral("Use Default"), QStringLiteral("1024"),
                                     QStringLiteral("2048"), QStringLiteral("4096"),
                                     QStringLiteral("8192"), QStringLiteral("16384"),
                                     QStringLiteral("32768"), QStringLiteral("1048064")});
    restore();
    if (ui->spinBoxTtl->value() == LinkLocalTtl)
        ui->lineEditMulticastAddress->setEnabled(false);
    ui->labelVersion->setText(tr("Ver 1.03 2019-10-03"));
}

SetupDialog::~SetupDialog()
{
    delete ui;
}

void SetupDialog::on_buttonBox_clicked(QAbstractButton *button)
{
    switch (ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Apply: {
        QMessageBox box(QMessageBox::Warning, tr("WARNING"),
                        tr("Please restart program if you change any port number."),
                        QMessageBox::Ok);
        box.exec();
        save();
        close();
        deleteLater();
        break;
    }
    case QDialogButtonBox::Cancel:
        close();
        deleteLater();
        break;
    case QDialogButtonBox::RestoreDefaults:
        para.save(Para::paraDefault);
        para.restore();
        restore();
        break;
    default:
        break;
    }
}

void SetupDialog::on_spinBoxTtl_valueChanged(int arg1)
{
    ui->lineEditMulticastAddress->setEnabled(arg1 != LinkLocalTtl);
}

bool SetupDialog::save()
{
    para.translate = ui->comboBox->currentIndex();
    para.tcpport = ui->spinBoxTcpPort->value();
    para.udpport = ui->spinBoxUdpPort->value();
    para.mlticastaddress = ui->lineEditMulticastAddress->text();
    para.ttl = ui->spinBoxTtl->value();
    para.savelog = ui->checkBoxSaveLog->isChecked();
    para.fullduplex = ui->checkBoxFullDuplex->isChecked();
    para.usebrodcasetport = ui->checkBoxUseBroadcastPort->isChecked();
    para.nopointtppoint = ui->checkBoxNoPointToPoint->isChecked();
    para.blocksize = ui->comboBoxBlockSize->currentText();
    para.slice = ui->spinBoxSlice->value();
    para.save();
    return true;
}

bool SetupDialog::restore()
{
    ui->comboBox->setCurrentIndex(para.translate);
    ui->spinBoxTcpPort->setValue(para.tcpport);
    ui->spinBoxUdpPort->setValue(para.udpport);
    ui->lineEditMulticastAddress->setText(para.mlticastaddress);
    ui->spinBoxTtl->setValue(para.ttl);
    ui->checkBoxSaveLog->setChecked(para.savelog);
    ui->checkBoxFullDuplex->setChecked(para.fullduplex);
    ui->checkBoxUseBroadcastPort->setChecked(para.usebrodcasetport);
    ui->checkBoxNoPointToPoint->setChecked(para.nopointtppoint);
    ui->comboBoxBlockSize->setCurrentText(para.blocksize);
    ui->spinBoxSlice->setValue(para.slice);
    return true;
}
