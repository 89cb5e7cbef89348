#include "ui/dispatchlist.h"

namespace {
const QChar Separator = QLatin1Char('|');

QString rowText(const QModelIndex &index)
{
    return index.data(Qt::DisplayRole).toString();
}
} // namespace

QString dispatchPair(const QString &machineName, const QString &deviceName)
{
    return machineName + Separator + deviceName;
}

QStringList dispatchGroups(QStringList pairs)
{
    pairs.sort(Qt::CaseSensitive);
    QStringList groups;
    QString lastMachine;
    for (const QString &pair : qAsConst(pairs)) {
        const QString machine = pair.section(Separator, 0, 0);
        const QString device = pair.section(Separator, 1, 1);
        if (groups.isEmpty() || machine != lastMachine) {
            groups << machine;
            lastMachine = machine;
        }
        if (!groups.last().contains(device))
            groups.last() += Separator + device;
    }
    return groups;
}

DispatchTargets dispatchTargets(const QModelIndexList &rows, bool isOperatorChoice)
{
    DispatchTargets targets;
    QStringList pairs;
    for (const QModelIndex &row : rows) {
        const QModelIndex machine = row.parent();
        if (machine.isValid()) {
            const QString pair = dispatchPair(rowText(machine), rowText(row));
            pairs << pair;
            if (isOperatorChoice && !rowText(row).isEmpty())
                targets.selectedDevices << pair;
        } else if (!isOperatorChoice) {
            const QAbstractItemModel *model = row.model();
            for (int child = 0; child < model->rowCount(row); ++child)
                pairs << dispatchPair(rowText(row), rowText(model->index(child, 0, row)));
        }
    }
    targets.selectedDevices.sort(Qt::CaseSensitive);
    targets.dispatchList = dispatchGroups(pairs);
    return targets;
}
