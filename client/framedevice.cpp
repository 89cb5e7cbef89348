#include "client/framedevice.h"

#include "ui_framedevice.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>

namespace {
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar FileSeparator = QLatin1Char('|');
// A trim takes a page this share of its limits below them.
constexpr int TrimShare = 10;

// The status template's placeholders, in the order of the status text's lines.
const QStringList &statusPlaceholders()
{
    static const QStringList names{QStringLiteral("machineName"), QStringLiteral("modelName"),
                                   QStringLiteral("vendorName"), QStringLiteral("programVersion")};
    return names;
}
} // namespace

FrameDevice::FrameDevice(QWidget *parent) : QFrame(parent), ui(new Ui::FrameDevice)
{
    ui->setupUi(this);
    setLayout(ui->verticalLayout);
    logPage.browser = ui->textBrowserLog;
    logPage.followsEnd = true;
    settingsPage.browser = ui->textBrowserSettings;
}

FrameDevice::~FrameDevice()
{
    delete ui;
}

void FrameDevice::log(QString &str)
{
    // Machine lines are shown and saved exactly as sent, never interpreted as markup.
    openBatch(logPage);
    if (!logPage.browser->document()->isEmpty())
        logPage.batch.insertBlock();
    logPage.batch.insertText(str);
}

void FrameDevice::clearLog()
{
    clearPage(logPage);
}

void FrameDevice::openBatch(Page &page)
{
    if (!page.batch.isNull())
        return;
    // A page emptied by its browser's own clear() has no note at its top any more.
    if (page.browser->document()->isEmpty())
        page.leftOut = 0;
    QScrollBar *bar = page.browser->verticalScrollBar();
    page.following = page.followsEnd && bar->value() >= bar->maximum();
    page.batch = QTextCursor(page.browser->document());
    page.batch.movePosition(QTextCursor::End);
    page.batch.beginEditBlock();
    QMetaObject::invokeMethod(
        this, [this, &page] { closeBatch(page); }, Qt::QueuedConnection);
}

void FrameDevice::closeBatch(Page &page)
{
    if (page.batch.isNull())
        return;
    page.batch.endEditBlock();
    page.batch = QTextCursor();
    trim(page);
    if (page.following) {
        QScrollBar *bar = page.browser->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

void FrameDevice::clearPage(Page &page)
{
    if (!page.batch.isNull()) {
        page.batch.endEditBlock();
        page.batch = QTextCursor();
    }
    page.browser->clear();
    page.leftOut = 0;
}

void FrameDevice::trim(Page &page)
{
    QTextDocument *document = page.browser->document();
    const bool noted = page.leftOut > 0;
    int lines = document->blockCount() - (noted ? 1 : 0);
    int chars = document->characterCount() - (noted ? document->firstBlock().length() : 0);
    if (lines <= PageLineLimit && chars <= PageTextLimit)
        return;
    const QTextBlock first = noted ? document->firstBlock().next() : document->firstBlock();
    QTextBlock kept = first;
    while (kept.next().isValid() && (lines > PageLineLimit - PageLineLimit / TrimShare ||
                                     chars > PageTextLimit - PageTextLimit / TrimShare)) {
        chars -= kept.length();
        --lines;
        ++page.leftOut;
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
    cursor.insertText(tr("Earlier lines left out: %1").arg(page.leftOut));
    if (!noted)
        cursor.insertBlock();
    cursor.endEditBlock();
}

void FrameDevice::updateStatus(QString &str)
{
    // Only the first report fills the page; the machine's values are text, never markup, and
    // are substituted in one pass so a value cannot name another placeholder.
    if (statusFilled)
        return;
    statusFilled = true;
    const QStringList values = str.split(LineFeed);
    static const QRegularExpression placeholder(
        QStringLiteral("\\$(%1)").arg(statusPlaceholders().join(QLatin1Char('|'))));
    const QString markup = ui->textBrowserStatus->toHtml();
    QString filled;
    int copied = 0;
    auto match = placeholder.globalMatch(markup);
    while (match.hasNext()) {
        const QRegularExpressionMatch m = match.next();
        filled += markup.midRef(copied, m.capturedStart() - copied);
        filled += values.value(statusPlaceholders().indexOf(m.captured(1))).toHtmlEscaped();
        copied = m.capturedEnd();
    }
    filled += markup.midRef(copied);
    ui->textBrowserStatus->clear();
    ui->textBrowserStatus->insertHtml(filled);
}

void FrameDevice::addSettings(QString &str)
{
    openBatch(settingsPage);
    ui->textBrowserSettings->insertPlainText(str);
}

void FrameDevice::clearSettings()
{
    clearPage(settingsPage);
}

QTextBrowser *FrameDevice::getLogBrowser()
{
    return ui->textBrowserLog;
}

void FrameDevice::reflashFiles(QString &str)
{
    ui->listWidget->clear();
    ui->listWidget->addItems(str.split(FileSeparator));
}
