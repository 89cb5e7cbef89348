#pragma once

#include "client/wire/lineframer.h"
#include "imagestore.h"
#include "machineprofile.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

class DispatchReceiver;
class LoadSender;
class MachineRoom;
class QTcpSocket;
class SimRun;
struct DispatchOrder;
struct MachineOptions;

// One simulated duplicator machine: keeps its command connection to the console, names itself
// and its ports, and carries out the console's commands.
class SimMachine : public QObject
{
    Q_OBJECT

public:
    explicit SimMachine(const MachineProfile &profile, const MachineOptions &options,
                        MachineRoom *room);

    void start();
    // The console's address, as an announcement told it; used when not connected.
    void setConsole(const QHostAddress &address);

    const MachineProfile &profile() const { return me; }
    QHostAddress address() const { return me.address; }
    const ImageStore &store() const { return images; }
    DispatchReceiver *dispatchReceiver() const { return dispatch; }

private:
    void connectToConsole();
    void connectionChanged();
    void readCommands();
    void send(const QByteArray &line);
    void sendIdentity();
    void sendSettings();
    void note(const QString &text);

    void handle(const QByteArray &line);
    void startRun(char letter);
    void stopAll();
    void sendFileList();
    void chooseImage(const QString &name);
    void startLoad(const QStringList &fields);
    void startDispatch(const QByteArray &line);
    void fetchWhenChainReady(DispatchReceiver *receiver);

    MachineProfile me;
    const MachineOptions &options;
    MachineRoom *room;
    ImageStore images;
    QHostAddress console;
    QTcpSocket *socket = nullptr;
    QTimer reconnect;
    LineFramer framer;
    QRandomGenerator random;
    QString imageName;
    QPointer<SimRun> run;
    QPointer<LoadSender> load;
    QPointer<DispatchReceiver> dispatch;
    bool linked = false;
    bool announcedBind = false;
    bool autoRunDone = false;
};
