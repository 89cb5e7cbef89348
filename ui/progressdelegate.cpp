#include "ui/progressdelegate.h"

#include "client/client.h"
#include "client/wire/runrecord.h"
#include "server/server.h"
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
constexpr int BarMinimum = 3;
constexpr int RateDecimals = 1;
} // namespace

ProgressDelegate::ProgressDelegate(RateSource rateOf, QObject *parent)
    : QStyledItemDelegate(parent), rateOf(std::move(rateOf))
{
}

ProgressDelegate::RateSource ProgressDelegate::machineRates(std::function<Server *()> server)
{
    return [server](const QModelIndex &device, ProgressRate::Estimate &estimate) {
        Server *machines = server();
        const Client *client = machines ? machines->findClient(device.parent().row()) : nullptr;
        return client && client->progressRate().estimate(device.row(), estimate);
    };
}

// Not the style's progress bar: that costs twenty times a plain cell, and a busy room repaints
// dozens of bars many times a second. Two cached pictures, blitted, cost less than a plain cell.
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
    if (groove.width() < BarMinimum || groove.height() < BarMinimum)
        return;
    const BarPictures &bar = barPictures(groove.size(), option);
    const int filled = (groove.width() - 2) * qMin(percent, PercentMax) / PercentMax;
    painter->drawPixmap(groove.topLeft(), bar.empty);
    painter->drawPixmap(groove.topLeft(), bar.full, QRect(0, 0, 1 + filled, groove.height()));
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(groove, Qt::AlignCenter, item.text);
    painter->restore();
}

const ProgressDelegate::BarPictures &
ProgressDelegate::barPictures(const QSize &size, const QStyleOptionViewItem &option) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
    BarPictures &bar = pictures[selected ? 1 : 0];
    if (bar.size == size && bar.background == background.rgba())
        return bar;
    bar.size = size;
    bar.background = background.rgba();
    QColor fill = option.palette.color(QPalette::Highlight);
    fill.setAlpha(BarFillAlpha);
    const QRect inside(1, 1, size.width() - 2, size.height() - 2);
    for (QPixmap *picture : {&bar.empty, &bar.full}) {
        *picture = QPixmap(size);
        picture->fill(option.palette.color(QPalette::Mid));
        QPainter painter(picture);
        painter.fillRect(inside, background);
        if (picture == &bar.full)
            painter.fillRect(inside, fill);
    }
    return bar;
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
    const QString left = estimate.secondsLeft < 0 ? tr("unknown") : clockText(estimate.secondsLeft);
    return tr("Rate: %1 % per minute\nTime left: %2")
        .arg(estimate.percentPerMinute, 0, 'f', RateDecimals)
        .arg(left);
}
