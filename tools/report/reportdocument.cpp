#include "reportdocument.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLocale>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace {
constexpr qreal BodyPointSize = 9;
constexpr qreal TitlePointSize = 18;
constexpr qreal RunPointSize = 12;
constexpr qreal MarginMm = 15;
constexpr qreal CellPadding = 3;
const QColor PassedColor(0x1b, 0x7f, 0x2a);
const QColor FailedColor(0xc6, 0x28, 0x28);
const QColor HeaderBackground(0xe8, 0xe8, 0xe8);
const char *const NotKnown = "unknown";

// The body font, followed by fonts with Chinese glyphs: names from Chinese machines render
// whatever the default family covers.
QFont bodyFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(BodyPointSize);
    QStringList families{font.family()};
    const QFontDatabase database;
    for (QFontDatabase::WritingSystem system :
         {QFontDatabase::SimplifiedChinese, QFontDatabase::TraditionalChinese}) {
        const QStringList found = database.families(system);
        if (!found.isEmpty() && !families.contains(found.first()))
            families << found.first();
    }
    font.setFamilies(families);
    return font;
}

QString timeText(const QDateTime &when)
{
    return when.isValid() ? isoLocalTime(when).replace(QLatin1Char('T'), QLatin1Char(' '))
                          : QLatin1String(NotKnown);
}

QString durationText(qint64 seconds)
{
    if (seconds < 0)
        return QLatin1String(NotKnown);
    return QStringLiteral("%1 (%2 s)").arg(clockText(seconds)).arg(seconds);
}

QString tallyText(const Tally &tally)
{
    return QStringLiteral("OK %1, NG %2, other %3")
        .arg(tally.passed)
        .arg(tally.failed)
        .arg(tally.other);
}

class Writer
{
public:
    explicit Writer(QTextDocument &document) : cursor(&document) {}

    void heading(const QString &text, qreal pointSize, bool newBlock = true)
    {
        QTextCharFormat format;
        format.setFontPointSize(pointSize);
        format.setFontWeight(QFont::Bold);
        QTextBlockFormat block;
        block.setTopMargin(pointSize);
        block.setBottomMargin(pointSize / 2);
        if (newBlock)
            cursor.insertBlock(block, format);
        else
            cursor.setBlockFormat(block);
        cursor.insertText(text, format);
    }

    void line(const QString &text)
    {
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertText(text);
    }

    void devices(const QVector<RunRecord> &devices)
    {
        const QStringList head{QStringLiteral("Port"),     QStringLiteral("Role"),
                               QStringLiteral("Model"),    QStringLiteral("Vendor"),
                               QStringLiteral("Capacity"), QStringLiteral("Percentage"),
                               QStringLiteral("Result")};
        QTextTableFormat format;
        format.setCellPadding(CellPadding);
        format.setCellSpacing(0);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setHeaderRowCount(1);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        cursor.insertBlock();
        QTextTable *table = cursor.insertTable(devices.size() + 1, head.size(), format);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        for (int column = 0; column < head.size(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat background = cell.format();
            background.setBackground(HeaderBackground);
            cell.setFormat(background);
            cell.firstCursorPosition().insertText(head.at(column), bold);
        }
        for (int row = 0; row < devices.size(); ++row) {
            const RunRecord &d = devices.at(row);
            const QString percentage =
                d.percentage.isEmpty() ? QString() : d.percentage + QLatin1Char('%');
            const QStringList cells{d.port,     d.role,     d.model, d.vendor,
                                    d.capacity, percentage, d.result};
            for (int column = 0; column < cells.size(); ++column) {
                QTextCharFormat text;
                if (column == cells.size() - 1 && d.result == QLatin1String("OK"))
                    text.setForeground(PassedColor);
                else if (column == cells.size() - 1 && d.result == QLatin1String("NG"))
                    text.setForeground(FailedColor);
                table->cellAt(row + 1, column)
                    .firstCursorPosition()
                    .insertText(cells.at(column), text);
            }
        }
        cursor.movePosition(QTextCursor::End);
    }

private:
    QTextCursor cursor;
};
} // namespace

std::unique_ptr<QTextDocument> reportDocument(const QVector<ReportRun> &runs, const QString &host,
                                              const QDateTime &written)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(bodyFont());
    Writer writer(*document);
    writer.heading(reportTitle(runs), TitlePointSize, false);
    writer.line(QStringLiteral("Console: %1").arg(host));
    writer.line(QStringLiteral("Written: %1").arg(timeText(written)));
    writer.line(QStringLiteral("Runs: %1; devices: %2")
                    .arg(runs.size())
                    .arg(tallyText(overallTally(runs))));
    for (const ReportRun &run : runs) {
        const RunRecord &r = run.run;
        writer.heading(QStringLiteral("%1 (%2): %3").arg(r.machine, r.address, r.operation),
                       RunPointSize);
        writer.line(QStringLiteral("Machine: %1    Address: %2    Operation: %3")
                        .arg(r.machine, r.address, r.operation));
        writer.line(QStringLiteral("Start: %1    End: %2    Duration: %3")
                        .arg(timeText(r.start), timeText(r.end), durationText(r.durationSeconds)));
        if (!r.runLog.isEmpty())
            writer.line(QStringLiteral("Run log: %1").arg(r.runLog));
        writer.devices(run.devices);
        writer.line(QStringLiteral("Devices: %1").arg(tallyText(run.tally)));
    }
    return document;
}

QPageSize::PageSizeId pageSizeFor(const QLocale &locale)
{
    switch (locale.country()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Venezuela:
    case QLocale::PuertoRico:
    case QLocale::Philippines:
        return QPageSize::Letter;
    default:
        return QPageSize::A4;
    }
}

bool writePdf(QTextDocument &document, const QString &title, QPageSize::PageSizeId pageSize,
              const QString &path, QString &error)
{
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error = probe.errorString();
            return false;
        }
    }
    {
        QPdfWriter pdf(path);
        pdf.setPageSize(QPageSize(pageSize));
        pdf.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm),
                           QPageLayout::Millimeter);
        pdf.setTitle(title);
        pdf.setCreator(QStringLiteral("tarn-report"));
        document.print(&pdf);
    }
    if (QFileInfo(path).size() > 0)
        return true;
    error = QStringLiteral("nothing was written");
    return false;
}
