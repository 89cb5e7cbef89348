#pragma once

#include <QDialog>

class QAbstractButton;

namespace Ui {
class SetupDialog;
}

// Edits the persisted parameters; port and language changes take effect at the next start.
class SetupDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SetupDialog(QWidget *parent = nullptr);
    ~SetupDialog() override;

private slots:
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_spinBoxTtl_valueChanged(int arg1);

private:
    bool save();
    bool restore();

    Ui::SetupDialog *ui;
};
