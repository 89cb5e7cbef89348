#include "testkit/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int PollIntervalMs = 10;

void dismiss(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

void click(QWidget *modal, QAbstractButton *button)
{
    if (button)
        return button->click();
    qWarning("ModalAnswerer: no such button in \"%s\"", qPrintable(modal->windowTitle()));
    dismiss(modal);
}

ModalAnswerer::Seen seenOf(QWidget *modal)
{
    const auto *box = qobject_cast<QMessageBox *>(modal);
    ModalAnswerer::Seen seen{
        modal->metaObject()->className(), modal->windowTitle(), box ? box->text() : QString(), {}};
    for (QAbstractButton *b : box ? box->buttons() : QList<QAbstractButton *>())
        seen.buttons << b->text();
    return seen;
}
} // namespace

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent)
{
    startTimer(PollIntervalMs);
}

void ModalAnswerer::pressButton(QMessageBox::StandardButton button)
{
    // A message box keeps its buttons in a button box too.
    perform([button](QWidget *modal) {
        auto *box = modal->findChild<QDialogButtonBox *>();
        click(modal, box ? box->button(QDialogButtonBox::StandardButton(int(button))) : nullptr);
    });
}

void ModalAnswerer::pressButtonText(const QString &text)
{
    perform([text](QWidget *modal) {
        QAbstractButton *found = nullptr;
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
            found = b->text() == text ? b : found;
        click(modal, found);
    });
}

void ModalAnswerer::chooseFile(const QString &path)
{
    perform([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || path.isEmpty())
            return dismiss(modal);
        dialog->selectFile(path);
        // selectFile() leaves the name editor alone while it has the focus, as it has in a save
        // dialog: type the name there too.
        if (auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides accept()
    });
}

void ModalAnswerer::timerEvent(QTimerEvent *)
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        lastAnswered = stray = nullptr;
    } else if (!answers.isEmpty() && modal != lastAnswered) {
        lastAnswered = modal;
        seenList << seenOf(modal);
        // Act after this timer returns: the box's own event loop must be running.
        QTimer::singleShot(0, modal, [modal, answer = answers.dequeue()] { answer(modal); });
    } else if (!answers.isEmpty() || strayGraceMs == 0) {
        stray = nullptr;
    } else if (modal != stray) {
        stray = modal;
        strayShown.start();
    } else if (strayShown.elapsed() >= strayGraceMs) {
        const Seen seen = seenOf(modal);
        strayList << QString("%1 \"%2\"").arg(seen.title, seen.text);
        stray = nullptr;
        dismiss(modal);
    }
}
