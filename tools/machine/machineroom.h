#pragma once

#include "machineoptions.h"

#include <QList>
#include <QObject>

class DispatchReceiver;
class SimMachine;
struct DispatchOrder;

// All simulated machines of this process, and what they share: the announcement they listen
// for, and the chains along which a dispatched image passes from machine to machine.
class MachineRoom : public QObject
{
    Q_OBJECT

public:
    explicit MachineRoom(const MachineOptions &options, QObject *parent = nullptr);

    // Sets up the stores and starts every machine; false when nothing can run.
    bool start();

    SimMachine *machineAt(const QHostAddress &address) const;
    // The receiver that takes the stream after the machine at `from`, which dispatches `order`;
    // null when the next machine is not in this process or has not heard of the dispatch.
    DispatchReceiver *receiverAfter(const QHostAddress &from, const DispatchOrder &order) const;
    // True when every machine of this process down the chain has its receiver ready.
    bool chainReady(const QHostAddress &from, const DispatchOrder &order) const;
    void announceDispatch() { emit dispatchAnnounced(); }

signals:
    void dispatchAnnounced();

private:
    void putSample(const SimMachine &machine);

    MachineOptions options;
    QList<SimMachine *> machines;
};
