#include "client/logpage.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>

namespace {
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar CarriageReturn = QLatin1Char('\r');
constexpr QChar LineBreak = QChar(QChar::LineSeparator);
// Frame marks: inserted as text, each starts a paragraph.
constexpr QChar FrameStart = QChar(0xfdd0);
constexpr QChar FrameEnd = QChar(0xfdd1);
// A trim takes a page this share of its limits below them.
constexpr int TrimShare = 10;

LogPage::Limits afterTrim(LogPage::Limits limits)
{
    return {limits.lines - limits.lines / TrimShare,
            limits.characters - limits.characters / TrimShare};
}

// What the page shows of one line: cut after so many characters, and its returns and separators
// as line breaks within its paragraph. Each of those would start a paragraph of its own, and
// thousands of paragraphs or of characters on one unbroken line take a page seconds to lay out.
// The page's plain text gives line breaks back as line feeds, as it does paragraph ends.
QString shownLine(QString line)
{
    if (line.size() > LogPage::ShownLineChars) {
        const int hidden = line.size() - LogPage::ShownLineChars;
        line.truncate(LogPage::ShownLineChars);
        line += LogPage::tr(" … %1 more characters").arg(hidden);
    }
    line.replace(QLatin1String("\r\n"), QString(LineBreak));
    for (QChar &c : line) {
        if (c == LineFeed || c == CarriageReturn || c == QChar::ParagraphSeparator ||
            c == FrameStart || c == FrameEnd)
            c = LineBreak;
    }
    return line;
}
} // namespace

LogPage *LogPage::of(QTextBrowser *browser, Limits limits)
{
    auto *page = browser->findChild<LogPage *>(QString(), Qt::FindDirectChildrenOnly);
    return page ? page : new LogPage(browser, limits);
}

LogPage::LogPage(QTextBrowser *browser, Limits limits)
    : QObject(browser), browser(browser), limits(limits)
{
}

void LogPage::insert(const QString &text, Insert how)
{
    openBatch();
    QString shown;
    if (how == Insert::Paragraph) {
        shown = shownLine(text);
        if (!browser->document()->isEmpty())
            batch.insertBlock();
    } else {
        // Line feeds end paragraphs here; each line between them is shown as one.
        QStringList lines = text.split(LineFeed);
        for (QString &line : lines)
            line = shownLine(line);
        shown = lines.join(LineFeed);
    }
    lineBreaks += shown.count(LineBreak);
    if (how == Insert::AtCursor) {
        browser->insertPlainText(shown);
    } else {
        batch.insertText(shown);
        toEnd = toEnd || how == Insert::AtEnd;
    }
}

void LogPage::clear()
{
    if (!batch.isNull()) {
        batch.endEditBlock();
        batch = QTextCursor();
    }
    browser->clear();
    lineBreaks = 0;
    leftOut = 0;
}

void LogPage::openBatch()
{
    if (!batch.isNull())
        return;
    // A page emptied by its browser's own clear() has no note at its top any more.
    if (browser->document()->isEmpty())
        lineBreaks = leftOut = 0;
    QScrollBar *bar = browser->verticalScrollBar();
    following = bar->value() >= bar->maximum();
    QTextDocument *document = browser->document();
    linesBefore = document->blockCount() + lineBreaks;
    charsBefore = document->characterCount();
    batch = QTextCursor(document);
    batch.movePosition(QTextCursor::End);
    batch.beginEditBlock();
    QMetaObject::invokeMethod(this, &LogPage::closeBatch, Qt::QueuedConnection);
}

void LogPage::closeBatch()
{
    if (batch.isNull())
        return;
    // A burst that fills the page alone leaves before it is laid out. A smaller one is laid out
    // by itself; the trim that follows then only moves the lines that stay.
    QTextDocument *document = browser->document();
    const Limits room = afterTrim(limits);
    const bool fillsPage = document->blockCount() + lineBreaks - linesBefore > room.lines ||
                           document->characterCount() - charsBefore > room.characters;
    if (fillsPage)
        trim();
    batch.endEditBlock();
    batch = QTextCursor();
    if (!fillsPage)
        trim();
    if (toEnd) {
        browser->moveCursor(QTextCursor::End);
        toEnd = false;
    } else if (following) {
        browser->verticalScrollBar()->setValue(browser->verticalScrollBar()->maximum());
    }
}

void LogPage::trim()
{
    QTextDocument *document = browser->document();
    const bool noted = leftOut > 0;
    const QTextBlock note = document->firstBlock();
    int lines = document->blockCount() + lineBreaks - (noted ? 1 : 0);
    int chars = document->characterCount() - (noted ? note.length() : 0);
    if (lines <= limits.lines && chars <= limits.characters)
        return;
    const QTextBlock first = noted ? note.next() : note;
    QTextBlock kept = first;
    const Limits room = afterTrim(limits);
    while (kept.next().isValid() && (lines > room.lines || chars > room.characters)) {
        const int breaks = kept.text().count(LineBreak);
        lines -= 1 + breaks;
        lineBreaks -= breaks;
        leftOut += 1 + breaks;
        chars -= kept.length();
        kept = kept.next();
    }
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(first.position());
    cursor.setPosition(kept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.setPosition(0);
    if (noted)
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(tr("Earlier lines left out: %1").arg(leftOut));
    if (!noted)
        cursor.insertBlock();
    cursor.endEditBlock();
}
