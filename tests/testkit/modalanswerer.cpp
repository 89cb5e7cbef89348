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
constexpr int PollLimit = 3000; // 30 s for a box to appear
constexpr int StrayCheckMs = 50;

bool click(QAbstractButton *button)
{
    if (button)
        button->click();
    return button;
}
} // namespace

void ModalAnswerer::pressButton(QMessageBox::StandardButton button)
{
    enqueue([button](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *buttons = modal->findChild<QDialogButtonBox *>();
        return (box && click(box->button(button))) ||
               (buttons && click(buttons->button(QDialogButtonBox::StandardButton(int(button)))));
    });
}

void ModalAnswerer::pressButtonText(const QString &text)
{
    enqueue([text](QWidget *modal) {
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
            if (b->text() == text)
                return click(b);
        return false;
    });
}

void ModalAnswerer::chooseFile(const QString &path)
{
    enqueue([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return false;
        if (path.isEmpty()) {
            dialog->reject();
            return true;
        }
        dialog->selectFile(path);
        // selectFile() leaves the name editor alone while it has the focus, as it has in a save
        // dialog: type the name there too.
        if (auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides accept()
        return true;
    });
}

void ModalAnswerer::perform(const std::function<void(QWidget *)> &action)
{
    enqueue([action](QWidget *modal) {
        action(modal);
        return true;
    });
}

void ModalAnswerer::closeStrays(int graceMs)
{
    if (strayGraceMs == 0) {
        auto *check = new QTimer(this);
        connect(check, &QTimer::timeout, this, &ModalAnswerer::checkStray);
        check->start(StrayCheckMs);
    }
    strayGraceMs = graceMs;
}

void ModalAnswerer::checkStray()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !answers.isEmpty()) {
        stray = nullptr;
    } else if (modal != stray) {
        stray = modal;
        strayShown.start();
    } else if (strayShown.elapsed() >= strayGraceMs) {
        const auto *box = qobject_cast<QMessageBox *>(modal);
        strayList << QString("%1 \"%2\"").arg(modal->windowTitle(), box ? box->text() : QString());
        stray = nullptr;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

void ModalAnswerer::enqueue(const Answer &answer)
{
    answers.enqueue(answer);
    if (answers.size() == 1) {
        pollsLeft = PollLimit;
        QTimer::singleShot(PollIntervalMs, this, &ModalAnswerer::poll);
    }
}

void ModalAnswerer::poll()
{
    if (answers.isEmpty())
        return;
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != lastAnswered && modal->isVisible()) {
        lastAnswered = modal;
        const Answer answer = answers.dequeue();
        // Act after this timer returns: the box's own event loop must be running.
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [this, target, answer] {
            if (target)
                act(target, answer);
        });
        pollsLeft = PollLimit;
    } else if (modal != lastAnswered) {
        lastAnswered = nullptr;
    }
    if (!answers.isEmpty() && --pollsLeft > 0)
        QTimer::singleShot(PollIntervalMs, this, &ModalAnswerer::poll);
    else if (!answers.isEmpty())
        qWarning("ModalAnswerer: no modal widget appeared for a queued answer");
}

void ModalAnswerer::act(QWidget *modal, const Answer &answer)
{
    Seen seen;
    seen.className = QString::fromLatin1(modal->metaObject()->className());
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        for (QAbstractButton *b : box->buttons())
            seen.buttons << b->text();
    }
    seenList.append(seen);
    if (answer(modal))
        return;
    qWarning("ModalAnswerer: could not answer %s \"%s\"", qPrintable(seen.className),
             qPrintable(seen.title));
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
}
