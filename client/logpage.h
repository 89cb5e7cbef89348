#pragma once

#include <QObject>
#include <QTextCursor>

class QTextBrowser;

// A text page that takes lines without end (a machine's log and settings, the global log). It
// keeps its newest lines within fixed limits, whichever is reached first: the oldest leave, a
// tenth more at once so that trims are rare, and one line at the top tells how many have left.
// It shows at most ShownLineChars characters of one line. What a burst of lines changes is
// laid out once, when the event loop runs again.
class LogPage : public QObject
{
    Q_OBJECT

public:
    enum class Insert
    {
        Paragraph, // a new paragraph at the end; line feeds in it break lines within it
        AtEnd,     // plain text at the end, the page following it
        AtCursor   // plain text at the browser's text cursor
    };
    struct Limits
    {
        int lines;
        int characters; // 2 bytes each
    };
    static constexpr Limits MachineLimits{10000, 2 * 1024 * 1024};
    static constexpr Limits GlobalLimits{50000, 4 * 1024 * 1024};
    static constexpr int ShownLineChars = 8192;

    // The page of the browser, made with these limits on first use.
    static LogPage *of(QTextBrowser *browser, Limits limits = MachineLimits);

    void insert(const QString &text, Insert how);
    void clear();

private:
    LogPage(QTextBrowser *browser, Limits limits);
    void openBatch();
    void closeBatch();
    void trim();

    QTextBrowser *browser;
    Limits limits;
    QTextCursor batch;
    int linesBefore = 0; // the page's lines and characters when the burst began
    int charsBefore = 0;
    bool following = false;
    bool toEnd = false;
    int lineBreaks = 0; // within paragraphs: each starts a line as a paragraph does
    int leftOut = 0;
};
