#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

// The console's widgets found by object name, and its summary tree's rows found by their text.

template <typename T> T *childNamed(QObject *parent, const char *name)
{
    T *object = parent->findChild<T *>(QLatin1String(name));
    if (!object)
        qFatal("no object %s", name);
    return object;
}

// The machine row whose first cell reads name; invalid when there is none.
inline QModelIndex machineRowNamed(const QAbstractItemModel *model, const QString &name)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (index.data().toString() == name)
            return index;
    }
    return QModelIndex();
}

// The port row of a machine row, by the port's name with the source mark left out.
inline QModelIndex portRowNamed(const QModelIndex &machine, const QString &port)
{
    const QAbstractItemModel *model = machine.model();
    for (int row = 0; machine.isValid() && row < model->rowCount(machine); ++row) {
        const QModelIndex index = model->index(row, 0, machine);
        if (index.data().toString().remove(QLatin1Char('*')) == port)
            return index;
    }
    return QModelIndex();
}

inline QString cellText(const QModelIndex &row, int column)
{
    return row.isValid() ? row.sibling(row.row(), column).data().toString() : QString();
}
