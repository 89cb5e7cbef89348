#include "machineroom.h"

#include "announcelistener.h"
#include "dispatchorder.h"
#include "dispatchreceiver.h"
#include "imagesynth.h"
#include "simmachine.h"

#include <QFile>

MachineRoom::MachineRoom(const MachineOptions &options, QObject *parent)
    : QObject(parent), options(options)
{
}

bool MachineRoom::start()
{
    for (int i = 0; i < options.count; ++i)
        machines << new SimMachine(MachineProfile::build(options, i), options, this);
    for (SimMachine *m : qAsConst(machines)) {
        if (!m->store().ensure()) {
            qCritical("cannot create the store folder %s", qPrintable(m->store().folder()));
            return false;
        }
        if (options.sampleImage && m->store().list().isEmpty())
            putSample(*m);
    }
    if (options.listenAnnounce) {
        auto *listener = new AnnounceListener(this);
        if (!listener->listen(options.announcePort()))
            qWarning("cannot hear announcements on UDP port %u: %s", options.announcePort(),
                     qPrintable(listener->errorString()));
        for (SimMachine *m : qAsConst(machines))
            connect(listener, &AnnounceListener::consoleAnnounced, m, &SimMachine::setConsole);
    }
    for (SimMachine *m : qAsConst(machines))
        m->start();
    return true;
}

void MachineRoom::putSample(const SimMachine &machine)
{
    const SimDevice &source = machine.profile().source();
    const QString name = QStringLiteral("%1-%2-brief.img").arg(machine.profile().name, source.port);
    QFile file(machine.store().partPath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning("cannot write %s: %s", qPrintable(file.fileName()),
                 qPrintable(file.errorString()));
        return;
    }
    ImageSynth image(source, false);
    QByteArray chunk;
    while (image.read(chunk, BUFFER_SIZE) && !chunk.isEmpty()) {
        if (file.write(chunk) != chunk.size()) {
            qWarning("cannot write %s: %s", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
            file.remove();
            return;
        }
        chunk.clear();
    }
    file.close();
    machine.store().commit(name);
}

SimMachine *MachineRoom::machineAt(const QHostAddress &address) const
{
    for (SimMachine *m : machines)
        if (m->address().isEqual(address, QHostAddress::TolerantConversion))
            return m;
    return nullptr;
}

DispatchReceiver *MachineRoom::receiverAfter(const QHostAddress &from,
                                             const DispatchOrder &order) const
{
    const SimMachine *next = machineAt(order.next);
    if (!next || next->address().isEqual(from, QHostAddress::TolerantConversion))
        return nullptr;
    DispatchReceiver *r = next->dispatchReceiver();
    if (!r || r->isEnded() || r->order().name != order.name ||
        !r->order().previous.isEqual(from, QHostAddress::TolerantConversion))
        return nullptr;
    return r;
}

bool MachineRoom::chainReady(const QHostAddress &from, const DispatchOrder &order) const
{
    QHostAddress at = from;
    DispatchOrder step = order;
    // Each hop must name the one before it, so a chain cannot loop; the bound is a guard only.
    for (int hops = 0; hops < machines.size(); ++hops) {
        if (!machineAt(step.next))
            return true;
        const DispatchReceiver *r = receiverAfter(at, step);
        if (!r)
            return false;
        at = step.next;
        step = r->order();
    }
    return true;
}
