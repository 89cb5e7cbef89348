#include "client/framedevice.h"

#include "client/logpage.h"
#include "ui_framedevice.h"

#include <QRegularExpression>

namespace {
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar FileSeparator = QLatin1Char('|');

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
}

FrameDevice::~FrameDevice()
{
    delete ui;
}

void FrameDevice::log(QString &str)
{
    // Machine lines are shown and saved exactly as sent, never interpreted as markup.
    LogPage::of(ui->textBrowserLog)->insert(str, LogPage::Insert::Paragraph);
}

void FrameDevice::clearLog()
{
    LogPage::of(ui->textBrowserLog)->clear();
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
    LogPage::of(ui->textBrowserSettings)->insert(str, LogPage::Insert::AtCursor);
}

void FrameDevice::clearSettings()
{
    LogPage::of(ui->textBrowserSettings)->clear();
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
