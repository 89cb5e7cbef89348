#pragma once

#include "server/server.h"

#include <QAction>
#include <QPointer>
#include <QTextBrowser>
#include <QTreeView>

// The console's widgets found by object name, and its summary tree's rows found by their text.

template <typename T> T *childNamed(QObject *parent, const char *name)
{
    T *object = parent->findChild<T *>(QLatin1String(name));
    if (!object)
        qFatal("no object %s", name);
    return object;
}

// The console's main window as the operator drives it.
class WindowProbe
{
public:
    QAction *action(const char *name) const { return childNamed<QAction>(window, name); }
    Server *server() const { return window->findChild<Server *>(); }
    QTreeView *tree() const { return childNamed<QTreeView>(window, "treeView"); }
    QTextBrowser *logView() const { return childNamed<QTextBrowser>(window, "logGlobal"); }
    QString log() const { return logView()->toPlainText(); }

    // The machine row whose first cell reads machine, or its row of the port named so with the
    // source mark left out; invalid when there is none.
    QModelIndex row(const QString &machine, const QString &port = QString()) const
    {
        const QAbstractItemModel *model = tree()->model();
        QModelIndex found;
        for (int r = 0; r < model->rowCount() && !found.isValid(); ++r)
            if (model->index(r, 0).data().toString() == machine)
                found = model->index(r, 0);
        if (port.isEmpty() || !found.isValid())
            return found;
        for (int r = 0; r < model->rowCount(found); ++r)
            if (model->index(r, 0, found).data().toString().remove(QLatin1Char('*')) == port)
                return model->index(r, 0, found);
        return QModelIndex();
    }
    QString cell(const QString &machine, const QString &port, int column) const
    {
        const QModelIndex r = row(machine, port);
        return r.isValid() ? r.sibling(r.row(), column).data().toString() : QString();
    }
    // Selects the row, alone when asked.
    void select(const QString &machine, const QString &port, bool alone = false) const
    {
        tree()->selectionModel()->select(
            row(machine, port),
            QItemSelectionModel::Rows |
                (alone ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select));
    }

    QPointer<QWidget> window;
};
