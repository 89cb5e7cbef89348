#pragma once

#include <QFrame>
#include <QTextCursor>

class QTextBrowser;

namespace Ui {
class FrameDevice;
}

// The pages of one machine's tab: status, settings, log and the files it holds.
class FrameDevice : public QFrame
{
    Q_OBJECT

public:
    // The log and settings pages keep their newest lines within these limits, whichever is
    // reached first: the oldest lines leave, a tenth more at once so that trims are rare, and one
    // line at the top tells how many have left. Text counts in characters, 2 bytes each.
    static constexpr int PageLineLimit = 10000;
    static constexpr int PageTextLimit = 2 * 1024 * 1024;

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
    // A text page that takes lines: what a burst of them changes is laid out once, when the
    // event loop runs again, and only then is the page trimmed.
    struct Page
    {
        QTextBrowser *browser = nullptr;
        QTextCursor batch;
        bool followsEnd = false;
        bool following = false;
        int leftOut = 0;
    };
    void openBatch(Page &page);
    void closeBatch(Page &page);
    void clearPage(Page &page);
    void trim(Page &page);

    Ui::FrameDevice *ui;
    Page logPage;
    Page settingsPage;
    bool statusFilled = false;
};
