#pragma once

#include <QBrush>
#include <QString>

class QModelIndex;
class QStandardItemModel;

// How the summary tree reads at a glance, from what its cells hold: results in colour, devices in
// progress, and each machine's tally.
namespace SummaryStyle {

// The percentage of a device row's percentage cell while its machine runs and the device has
// neither passed nor failed; -1 otherwise.
int percentInProgress(const QModelIndex &percentageCell);

// Green for "OK", red for "NG", nothing (the view's own colour) for anything else.
QBrush resultBrush(const QString &status);

struct DeviceCounts
{
    int passed = 0;
    int failed = 0;
    int inProgress = 0;
};
DeviceCounts deviceCounts(const QModelIndex &machineRow);

// From now on every device status cell of the model carries its result colour in its foreground
// role; the texts stay as they are.
void followResultColors(QStandardItemModel *model);

} // namespace SummaryStyle
