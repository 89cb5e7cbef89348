#include "ui/progressdelegate.h"

#include "client/client.h"
#include "ui/summarystyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int PercentMax = 100;
constexpr int BarMargin = 1;
constexpr int BarFillAlpha = 110; // light enough for the text on it
constexpr int RateDecimals = 1;
constexpr int SecondsPerMinute = 60;
constexpr int SecondsPerHour = 60 * SecondsPerMinute;

// A one-pixel frame; filled lines draw it many times faster than a pen does.
void drawFrame(QPainter *painter, const QRect &rect, const QColor &color)
{
    painter->fillRect(rect.left(), rect.top(), rect.width(), 1, color);
    painter->fillRect(rect.left(), rect.bottom(), rect.width(), 1, color);
    painter->fillRect(rect.left(), rect.top(), 1, rect.height(), color);
    painter->fillRect(rect.right(), rect.top(), 1, rect.height(), color);
}

// "2:05:09"; hours go on past a day.
QString durationText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / SecondsPerHour)
        .arg(seconds % SecondsPerHour / SecondsPerMinute, 2, 10, QLatin1Char('0'))
        .arg(seconds % SecondsPerMinute, 2, 10, QLatin1Char('0'));
}
} // namespace

ProgressDelegate::ProgressDelegate(RateSource rateOf, QObject *parent)
    : QStyledItemDelegate(parent), rateOf(std::move(rateOf))
{
}

// Drawn by hand, not as the style's progress bar: that costs twenty times a plain cell, and a
// busy room repaints dozens of bars many times a second.
void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const int percent =
        index.column() == Client::IndexPercentage ? SummaryStyle::percentInProgress(index) : -1;
    if (percent < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);

    const QRect groove = option.rect.adjusted(BarMargin, BarMargin, -BarMargin, -BarMargin);
    QRect done = groove.adjusted(1, 1, -1, -1);
    done.setWidth(done.width() * qMin(percent, PercentMax) / PercentMax);
    QColor fill = option.palette.color(QPalette::Highlight);
    fill.setAlpha(BarFillAlpha);
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(done, fill);
    drawFrame(painter, groove, option.palette.color(QPalette::Mid));
    painter->setFont(item.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(groove, Qt::AlignCenter, item.text);
    painter->restore();
}

bool ProgressDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                 const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = toolTip(index);
    if (text.isEmpty())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), text, view);
    return true;
}

QString ProgressDelegate::toolTip(const QModelIndex &index) const
{
    if (!index.parent().isValid()) {
        if (index.column() != Client::IndexStatus)
            return QString();
        const SummaryStyle::DeviceCounts counts = SummaryStyle::deviceCounts(index);
        return tr("OK: %1, NG: %2, in progress: %3")
            .arg(counts.passed)
            .arg(counts.failed)
            .arg(counts.inProgress);
    }
    ProgressRate::Estimate estimate;
    if (index.column() != Client::IndexPercentage || !rateOf || !rateOf(index, estimate))
        return QString();
    const QString left =
        estimate.secondsLeft < 0 ? tr("unknown") : durationText(estimate.secondsLeft);
    return tr("Rate: %1 % per minute\nTime left: %2")
        .arg(estimate.percentPerMinute, 0, 'f', RateDecimals)
        .arg(left);
}
