#include "ui/progressdelegate.h"

#include "client/client.h"
#include "ui/summarystyle.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QAbstractItemView>
#include <QToolTip>

namespace {
constexpr int PercentMax = 100;
constexpr int BarMargin = 1;
constexpr int RateDecimals = 1;
constexpr int SecondsPerMinute = 60;
constexpr int SecondsPerHour = 60 * SecondsPerMinute;

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

void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const int percent =
        index.column() == Client::IndexPercentage ? SummaryStyle::percentInProgress(index) : -1;
    if (percent < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(BarMargin, BarMargin, -BarMargin, -BarMargin);
    bar.state = option.state | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.fontMetrics = option.fontMetrics;
    bar.palette = option.palette;
    bar.minimum = 0;
    bar.maximum = PercentMax;
    bar.progress = qMin(percent, PercentMax);
    bar.text = index.data().toString();
    bar.textAlignment = Qt::AlignCenter;
    bar.textVisible = true;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, option.palette.highlight());
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
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
