#include "ui/summarystyle.h"

#include "client/client.h"

#include <QStandardItemModel>

namespace {
const QColor PassedColor(0x1b, 0x7f, 0x2a);
const QColor FailedColor(0xc6, 0x28, 0x28);
const QChar PercentSign = QLatin1Char('%');

QString cellText(const QModelIndex &row, int column)
{
    return row.sibling(row.row(), column).data().toString();
}

bool isResult(const QString &status)
{
    return status == QLatin1String("OK") || status == QLatin1String("NG");
}

void colorResults(QStandardItemModel *model, const QModelIndex &topLeft,
                  const QModelIndex &bottomRight)
{
    if (topLeft.column() > Client::IndexStatus || bottomRight.column() < Client::IndexStatus ||
        !topLeft.parent().isValid())
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        QStandardItem *cell = model->itemFromIndex(topLeft.sibling(row, Client::IndexStatus));
        const QBrush brush = SummaryStyle::resultBrush(cell->text());
        const QVariant wanted = brush.style() == Qt::NoBrush ? QVariant() : QVariant(brush);
        if (cell->data(Qt::ForegroundRole) != wanted)
            cell->setData(wanted, Qt::ForegroundRole);
    }
}
} // namespace

int SummaryStyle::percentInProgress(const QModelIndex &percentageCell)
{
    const QModelIndex machine = percentageCell.parent();
    if (!machine.isValid() || cellText(machine, Client::IndexStatus).isEmpty() ||
        isResult(cellText(percentageCell, Client::IndexStatus)))
        return -1;
    const QString text = percentageCell.data().toString();
    if (!text.endsWith(PercentSign))
        return -1;
    bool ok = false;
    const int percent = text.chopped(1).toInt(&ok);
    return ok && percent >= 0 ? percent : -1;
}

QBrush SummaryStyle::resultBrush(const QString &status)
{
    if (status == QLatin1String("OK"))
        return PassedColor;
    if (status == QLatin1String("NG"))
        return FailedColor;
    return QBrush();
}

SummaryStyle::DeviceCounts SummaryStyle::deviceCounts(const QModelIndex &machineRow)
{
    DeviceCounts counts;
    const QModelIndex machine = machineRow.sibling(machineRow.row(), Client::IndexDisplayName);
    const QAbstractItemModel *model = machine.model();
    for (int row = 0; model && row < model->rowCount(machine); ++row) {
        const QString status = model->index(row, Client::IndexStatus, machine).data().toString();
        if (status == QLatin1String("OK"))
            ++counts.passed;
        else if (status == QLatin1String("NG"))
            ++counts.failed;
        else if (percentInProgress(model->index(row, Client::IndexPercentage, machine)) >= 0)
            ++counts.inProgress;
    }
    return counts;
}

void SummaryStyle::followResultColors(QStandardItemModel *model)
{
    QObject::connect(model, &QAbstractItemModel::dataChanged, model,
                     [model](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                             const QVector<int> &roles) {
                         if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                             colorResults(model, topLeft, bottomRight);
                     });
}
