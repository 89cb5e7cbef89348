#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

// Answers the modal boxes and file dialogs that the code under test opens, in the order queued:
// a timer looks for QApplication::activeModalWidget() and acts on it.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    // What was seen of one answered modal widget.
    struct Seen
    {
        QString className, title, text;
        QStringList buttons;
    };

    explicit ModalAnswerer(QObject *parent = nullptr);

    // Presses the standard button of the next message box (or the dialog's button box).
    void pressButton(QMessageBox::StandardButton button);
    // Presses the button whose text is given (for relabelled buttons).
    void pressButtonText(const QString &text);
    // Chooses a file name in the next file dialog; an empty path cancels it.
    void chooseFile(const QString &path);
    // Runs any action on the next modal widget, for dialogs answered by more than one button.
    void perform(const std::function<void(QWidget *)> &action) { answers.enqueue(action); }

    // From now on, closes a modal widget that no queued answer waits for once it has been open
    // for graceMs, so that a test fails instead of hanging; strays() lists them as
    // 'TITLE "TEXT"'.
    void closeStrays(int graceMs) { strayGraceMs = graceMs; }
    const QStringList &strays() const { return strayList; }

    int pending() const { return answers.size(); }
    const QList<Seen> &seen() const { return seenList; }
    Seen last() const { return seenList.value(seenList.size() - 1); }

protected:
    void timerEvent(QTimerEvent *) override;

private:
    QQueue<std::function<void(QWidget *)>> answers;
    QList<Seen> seenList;
    // Guarded: a later box may be built at the address of one already answered and gone.
    QPointer<QWidget> lastAnswered, stray;
    int strayGraceMs = 0;
    QElapsedTimer strayShown;
    QStringList strayList;
};
