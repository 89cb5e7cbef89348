#include "testkit/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
constexpr int PollIntervalMs = 10;
constexpr int PollLimit = 3000; // 30 s for a box to appear
constexpr int StrayCheckMs = 50;
} // namespace

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent) {}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::pressButton(QMessageBox::StandardButton button)
{
    Answer answer(Answer::Button);
    answer.button = button;
    enqueue(answer);
}

void ModalAnswerer::pressButtonText(const QString &text)
{
    Answer answer(Answer::ButtonText);
    answer.text = text;
    enqueue(answer);
}

void ModalAnswerer::chooseFile(const QString &path)
{
    Answer answer(Answer::File);
    answer.text = path;
    enqueue(answer);
}

void ModalAnswerer::reject()
{
    enqueue(Answer(Answer::Reject));
}

void ModalAnswerer::pressKey(Qt::Key key)
{
    Answer answer(Answer::Key);
    answer.key = key;
    enqueue(answer);
}

void ModalAnswerer::closeWindow()
{
    enqueue(Answer(Answer::Close));
}

void ModalAnswerer::perform(const std::function<void(QWidget *)> &action)
{
    Answer answer(Answer::Action);
    answer.action = action;
    enqueue(answer);
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
        return;
    }
    if (modal != stray) {
        stray = modal;
        strayShown.start();
        return;
    }
    if (strayShown.elapsed() < strayGraceMs)
        return;
    const auto *box = qobject_cast<QMessageBox *>(modal);
    strayList << QString("%1 \"%2\"").arg(modal->windowTitle(), box ? box->text() : QString());
    stray = nullptr;
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
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
        if (!answers.isEmpty()) {
            pollsLeft = PollLimit;
            QTimer::singleShot(PollIntervalMs, this, &ModalAnswerer::poll);
        }
        return;
    }
    if (modal != lastAnswered)
        lastAnswered = nullptr;
    if (--pollsLeft > 0)
        QTimer::singleShot(PollIntervalMs, this, &ModalAnswerer::poll);
    else
        qWarning("ModalAnswerer: no modal widget appeared for a queued answer");
}

bool ModalAnswerer::act(QWidget *modal, const Answer &answer)
{
    Seen seen;
    seen.className = QString::fromLatin1(modal->metaObject()->className());
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        for (QAbstractButton *b : box->buttons())
            seen.buttons << b->text();
    }
    seenList.append(seen);

    switch (answer.kind) {
    case Answer::Button: {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (QAbstractButton *b = box->button(answer.button)) {
                b->click();
                return true;
            }
        }
        if (auto *bb = modal->findChild<QDialogButtonBox *>()) {
            if (QPushButton *b = bb->button(static_cast<QDialogButtonBox::StandardButton>(
                    static_cast<int>(answer.button)))) {
                b->click();
                return true;
            }
        }
        break;
    }
    case Answer::ButtonText: {
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>()) {
            if (b->text() == answer.text) {
                b->click();
                return true;
            }
        }
        break;
    }
    case Answer::File: {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            break;
        if (answer.text.isEmpty()) {
            dialog->reject();
            return true;
        }
        dialog->selectFile(answer.text);
        // selectFile() leaves the name editor alone while it has the focus, as it has in a save
        // dialog: type the name there too.
        if (auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(answer.text);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides accept()
        return true;
    }
    case Answer::Reject:
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
            return true;
        }
        modal->close();
        return true;
    case Answer::Key: {
        // As typed: to the focused widget, from which unhandled keys go up to the dialog.
        QWidget *focus = modal->focusWidget();
        QTest::keyClick(focus && modal->isAncestorOf(focus) ? focus : modal, answer.key);
        return true;
    }
    case Answer::Close:
        modal->close();
        return true;
    case Answer::Action:
        answer.action(modal);
        return true;
    }
    qWarning("ModalAnswerer: could not answer %s \"%s\"", qPrintable(seen.className),
             qPrintable(seen.title));
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    return false;
}
