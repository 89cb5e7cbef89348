#pragma once

#include <QMessageBox>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

// Answers the modal boxes and file dialogs that the code under test opens, in the order queued:
// a single-shot timer looks for QApplication::activeModalWidget() and acts on it.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    // What was seen of one answered modal widget.
    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QString informativeText;
        QStringList buttons;
    };

    explicit ModalAnswerer(QObject *parent = nullptr);
    ~ModalAnswerer() override;

    // Presses the standard button of the next message box (or the dialog's button box).
    void pressButton(QMessageBox::StandardButton button);
    // Presses the button whose text is given (for relabelled buttons).
    void pressButtonText(const QString &text);
    // Chooses a file name in the next file dialog; an empty path cancels it.
    void chooseFile(const QString &path);
    // Rejects the next modal widget (Escape or window close).
    void reject();

    int pending() const { return answers.size(); }
    const QList<Seen> &seen() const { return seenList; }
    Seen last() const { return seenList.isEmpty() ? Seen() : seenList.last(); }
    void clearSeen() { seenList.clear(); }

private:
    struct Answer
    {
        enum Kind { Button, ButtonText, File, Reject } kind;
        QMessageBox::StandardButton button;
        QString text;
    };
    void enqueue(const Answer &answer);
    void poll();
    bool act(QWidget *modal, const Answer &answer);

    QQueue<Answer> answers;
    QList<Seen> seenList;
    QWidget *lastAnswered = nullptr;
    int pollsLeft = 0;
};
