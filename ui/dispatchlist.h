#pragma once

#include <QList>
#include <QModelIndex>
#include <QString>
#include <QStringList>

// The text that names one device of one machine: "machine|device".
QString dispatchPair(const QString &machineName, const QString &deviceName);

// Turns "machine|device" pairs into one group per machine, "machine|device|device...", in the
// case-sensitive order of the sorted pairs. A device whose name already occurs anywhere in its
// group's text, the machine name included, is not appended again.
QStringList dispatchGroups(QStringList pairs);

// What an image dispatch is handed: the machine groups, and the devices the operator chose.
struct DispatchTargets
{
    QStringList dispatchList;
    QStringList selectedDevices;
};

// Targets from the column-0 indexes of the summary tree's selected rows (machine rows at the top
// level, device rows beneath them). Chosen by the operator, only device rows count and each is
// also a selected device; otherwise (the whole tree) a machine row stands for all its devices.
DispatchTargets dispatchTargets(const QModelIndexList &rows, bool isOperatorChoice);
