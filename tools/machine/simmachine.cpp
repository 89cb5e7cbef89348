#include "simmachine.h"

#include "dispatchorder.h"
#include "dispatchreceiver.h"
#include "imagesynth.h"
#include "loadsender.h"
#include "machinelines.h"
#include "machineoptions.h"
#include "machineroom.h"
#include "restorerun.h"
#include "simoperation.h"
#include "simrun.h"
#include "storedfilesource.h"

#include <QDir>
#include <QTcpSocket>

namespace {
constexpr int ReconnectMs = 500;
constexpr int BindRetryMs = 5000;
constexpr int MaxCommandBytes = 4096;
constexpr int AutoRunDelayMs = 1500;
// How long the head of a chain waits for the other machines of this process to hear of it.
constexpr int ChainGraceMs = 2000;
const char *const OperatorStop = "stopped by operator";

enum LoadField
{
    LoadLetter,
    LoadDevice,
    LoadPort,
    LoadFull,
    LoadStored,
    LoadName
};
constexpr int ImageLoadFields = 4;
constexpr int StoredLoadFields = 6;
} // namespace

SimMachine::SimMachine(const MachineProfile &profile, const MachineOptions &options,
                       MachineRoom *room)
    : QObject(room), me(profile), options(options), room(room),
      images(QDir(options.storeDir).filePath(profile.name)), console(options.console),
      framer(MaxCommandBytes), random(options.seed ^ profile.address.toIPv4Address())
{
    reconnect.setSingleShot(true);
    connect(&reconnect, &QTimer::timeout, this, &SimMachine::connectToConsole);
}

void SimMachine::start()
{
    connectToConsole();
}

void SimMachine::setConsole(const QHostAddress &address)
{
    if (address.isEqual(console, QHostAddress::TolerantConversion))
        return;
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        return; // stays with the console it has
    qInfo("%s: console announced at %s", qPrintable(me.name), qPrintable(address.toString()));
    console = address;
    if (socket)
        socket->abort();
    else
        connectToConsole();
}

void SimMachine::connectToConsole()
{
    if (socket)
        socket->deleteLater();
    socket = new QTcpSocket(this);
    QTcpSocket *s = socket;
    connect(s, &QTcpSocket::stateChanged, this, [this, s] {
        if (s == socket)
            connectionChanged();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (s == socket)
            readCommands();
    });
    // The console tells machines apart by their address, so each one speaks from its own.
    if (!socket->bind(me.address)) {
        if (!announcedBind)
            qWarning("%s: cannot use address %s: %s", qPrintable(me.name),
                     qPrintable(me.address.toString()), qPrintable(socket->errorString()));
        announcedBind = true;
        reconnect.start(BindRetryMs);
        return;
    }
    socket->connectToHost(console, options.port);
}

void SimMachine::connectionChanged()
{
    switch (socket->state()) {
    case QAbstractSocket::ConnectedState:
        qInfo("%s: connected from %s to %s:%u", qPrintable(me.name),
              qPrintable(me.address.toString()), qPrintable(console.toString()), options.port);
        linked = true;
        framer = LineFramer(MaxCommandBytes);
        sendIdentity();
        if (options.autoRun && !autoRunDone) {
            autoRunDone = true;
            QTimer::singleShot(AutoRunDelayMs, this, [this] { startRun(options.autoRun); });
        }
        break;
    case QAbstractSocket::UnconnectedState:
        if (linked)
            qInfo("%s: console connection closed", qPrintable(me.name));
        linked = false;
        reconnect.start(ReconnectMs);
        break;
    default:
        break;
    }
}

void SimMachine::send(const QByteArray &line)
{
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        socket->write(line + '\n');
}

void SimMachine::note(const QString &text)
{
    send(MachineLines::note(text));
}

void SimMachine::sendIdentity()
{
    QStringList ports;
    for (const SimDevice &d : me.ports)
        ports << d.port;
    send(MachineLines::information(me.name, me.model, me.vendor, me.version, ports));
    sendSettings();
    for (const SimDevice &d : me.ports)
        if (d.present)
            send(MachineLines::identify(d));
}

void SimMachine::sendSettings()
{
    int present = 0;
    for (const SimDevice &d : me.ports)
        present += d.present;
    send(MachineLines::global('N'));
    send(QStringLiteral("source=%1").arg(me.source().port).toUtf8());
    send(QStringLiteral("image file=%1")
             .arg(imageName.isEmpty() ? QStringLiteral("(none)") : imageName)
             .toUtf8());
    send(QStringLiteral("devices=%1 of %2 ports").arg(present).arg(me.ports.size()).toUtf8());
    send(QStringLiteral("address=%1").arg(me.address.toString()).toUtf8());
    send(QByteArrayLiteral("Settings End"));
}

void SimMachine::readCommands()
{
    framer.append(socket->readAll());
    QByteArray line;
    while (framer.takeLine(line))
        handle(line);
    for (qint64 dropped : framer.takeDroppedLines())
        note(QStringLiteral("command of %1 bytes ignored: too long").arg(dropped));
}

void SimMachine::handle(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const QStringList fields = QString::fromUtf8(line).split(QLatin1Char(' '));
    const QString command = fields.first();
    if (command.size() == 1 && SimOperation::fromLetter(command.at(0).toLatin1()))
        startRun(command.at(0).toLatin1());
    else if (command == QLatin1String("t"))
        stopAll();
    else if (command == QLatin1String("R"))
        sendFileList();
    else if (command == QLatin1String("S") && fields.size() >= 2)
        chooseImage(fields.mid(1).join(QLatin1Char(' ')));
    else if (command == QLatin1String("C"))
        startLoad(fields);
    else if (command == QLatin1String("D"))
        startDispatch(line);
    else
        note(QStringLiteral("unknown command: %1").arg(QString::fromUtf8(line)));
}

void SimMachine::startRun(char letter)
{
    const SimOperation *op = SimOperation::fromLetter(letter);
    const bool restoring = dispatch && !dispatch->isEnded() && dispatch->order().full;
    if (run || restoring) {
        note(
            QStringLiteral("%1 refused: %2 is running")
                .arg(QLatin1String(op->name), run ? run->name() : QLatin1String(RestoreRun::Name)));
        return;
    }
    run = new SimRun(*op, me, options.runSeconds, options.failRate, random.generate(), this);
    connect(run, &SimRun::line, this, &SimMachine::send);
    SimRun *r = run;
    connect(r, &SimRun::finished, r, &QObject::deleteLater);
    r->start();
}

void SimMachine::stopAll()
{
    const QString why = QLatin1String(OperatorStop);
    if (run)
        run->stop(why);
    if (load)
        load->stop();
    if (dispatch)
        dispatch->stop(why);
}

void SimMachine::sendFileList()
{
    send(MachineLines::global('R', images.list().join(QLatin1Char('|'))));
}

void SimMachine::chooseImage(const QString &name)
{
    if (!ImageStore::isAcceptableName(name)) {
        note(QStringLiteral("image file name '%1' refused").arg(name));
        return;
    }
    if (!images.contains(name))
        note(QStringLiteral("image file %1 is not on this machine yet").arg(name));
    imageName = name;
    sendSettings();
}

// "C DEVICE PORT FULL" loads a device; "C DEVICE PORT 0 1 NAME" uploads a stored image file.
void SimMachine::startLoad(const QStringList &fields)
{
    const bool stored =
        fields.size() >= StoredLoadFields && fields.at(LoadStored) == QLatin1String("1");
    bool portOk = false;
    const quint16 port = fields.value(LoadPort).toUShort(&portOk);
    if ((fields.size() != ImageLoadFields && !stored) || !portOk || port == 0) {
        note(QStringLiteral("load command not understood: %1").arg(fields.join(QLatin1Char(' '))));
        return;
    }
    std::unique_ptr<ImageSource> source;
    QString what;
    if (stored) {
        const QString name = fields.mid(LoadName).join(QLatin1Char(' '));
        what = QStringLiteral("image file %1").arg(name);
        if (images.contains(name))
            source.reset(new StoredFileSource(images.path(name)));
    } else {
        const bool full = fields.at(LoadFull) == QLatin1String("1");
        const SimDevice *device = me.device(fields.at(LoadDevice));
        what = QStringLiteral("%1 image of %2")
                   .arg(full ? QStringLiteral("full") : QStringLiteral("brief"),
                        fields.at(LoadDevice));
        if (device)
            source.reset(new ImageSynth(*device, full));
    }
    if (!source)
        note(QStringLiteral("%1: not on this machine").arg(what));

    // A new request replaces one the console gave up on.
    if (load)
        load->stop();
    load = new LoadSender(std::move(source), this);
    LoadSender *sender = load;
    connect(sender, &LoadSender::finished, this,
            [this, sender, what](bool sent, const QString &detail) {
                note(QStringLiteral("%1 %2: %3")
                         .arg(what, sent ? QStringLiteral("sent") : QStringLiteral("not sent"),
                              detail));
                sender->deleteLater();
            });
    if (!sender->listen(me.address, port)) {
        note(QStringLiteral("%1: cannot listen on %2:%3: %4")
                 .arg(what, me.address.toString())
                 .arg(port)
                 .arg(sender->errorString()));
        delete sender;
    }
}

void SimMachine::startDispatch(const QByteArray &line)
{
    DispatchOrder order;
    if (!DispatchOrder::parse(line, order)) {
        note(QStringLiteral("dispatch command not understood: %1").arg(QString::fromUtf8(line)));
        return;
    }
    if (dispatch)
        dispatch->stop(QStringLiteral("replaced by a new dispatch"));
    // "full" writes onto the devices of the media list, all targets when it names none.
    QVector<SimDevice> devices;
    for (int i = 0; i < me.ports.size(); ++i) {
        const SimDevice &d = me.ports.at(i);
        const bool chosen = order.media.isEmpty() ? i > 0 : order.media.contains(d.port);
        if (d.present && chosen)
            devices << d;
    }
    dispatch = new DispatchReceiver(order, images, devices, this);
    DispatchReceiver *receiver = dispatch;
    connect(receiver, &DispatchReceiver::line, this, &SimMachine::send);
    connect(receiver, &DispatchReceiver::relayed, this, [this, receiver](const QByteArray &bytes) {
        if (DispatchReceiver *next = room->receiverAfter(me.address, receiver->order()))
            next->feed(bytes);
    });
    connect(receiver, &DispatchReceiver::relayEnded, this, [this, receiver] {
        if (DispatchReceiver *next = room->receiverAfter(me.address, receiver->order()))
            next->sourceEnded();
    });
    connect(receiver, &DispatchReceiver::finished, this,
            [this, receiver](bool received, const QString &detail) {
                qInfo("%s: dispatch of %s %s: %s", qPrintable(me.name),
                      qPrintable(receiver->order().name), received ? "received" : "failed",
                      qPrintable(detail));
                receiver->deleteLater();
            });
    room->announceDispatch();
    if (order.isHead())
        fetchWhenChainReady(receiver);
}

// Fetching starts once the machines after this one have their dispatch commands, so that none
// misses the beginning of the stream; those that never get one are left out after a grace time.
void SimMachine::fetchWhenChainReady(DispatchReceiver *receiver)
{
    auto fetch = [this, receiver] {
        if (!receiver->isEnded() && !receiver->isFetching())
            receiver->fetch(me.address, console);
    };
    if (room->chainReady(me.address, receiver->order())) {
        fetch();
        return;
    }
    connect(room, &MachineRoom::dispatchAnnounced, receiver, [this, receiver, fetch] {
        if (room->chainReady(me.address, receiver->order()))
            fetch();
    });
    QTimer::singleShot(ChainGraceMs, receiver, fetch);
}
