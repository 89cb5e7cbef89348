#pragma once

#include "client/progressrate.h"

#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>

class Server;

// Paints the summary tree: a device's percentage as a progress bar with its text while it is in
// progress, and tool tips with a machine's tally and a device's rate and time left.
class ProgressDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The rate of the device in the given row, false while it has none.
    using RateSource = std::function<bool(const QModelIndex &device, ProgressRate::Estimate &)>;

    explicit ProgressDelegate(RateSource rateOf, QObject *parent = nullptr);

    // Rates from the machines of the server that `server` gives when a cell asks (the view may be
    // set up before the server exists).
    static RateSource machineRates(std::function<Server *()> server);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // What the cell's tool tip shows; empty for none.
    QString toolTip(const QModelIndex &index) const;

private:
    // The empty and the full bar of one size and background, drawn once: a bar is then two blits.
    struct BarPictures
    {
        QSize size;
        QRgb background = 0;
        QPixmap empty;
        QPixmap full;
    };
    const BarPictures &barPictures(const QSize &size, const QStyleOptionViewItem &option) const;

    RateSource rateOf;
    mutable BarPictures pictures[2]; // unselected, selected
};
