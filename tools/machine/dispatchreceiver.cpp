#include "dispatchreceiver.h"

#include "machinelines.h"
#include "restorerun.h"
#include "streamfetcher.h"

namespace {
// A machine down the chain gives up when its stream does not come or stalls this long.
constexpr int IdleLimitMs = 150000;
const char *const FirmwareMarks[] = {"k31update", "zr8sataupdate", "zr8nvmeupdate", "zr8usbupdate"};

bool isFirmware(const QString &name)
{
    for (const char *mark : FirmwareMarks)
        if (name.contains(QLatin1String(mark)))
            return true;
    return false;
}
} // namespace

DispatchReceiver::DispatchReceiver(const DispatchOrder &order, const ImageStore &store,
                                   const QVector<SimDevice> &devices, QObject *parent)
    : QObject(parent), dispatch(order), store(store), targets(devices)
{
    idleLimit.setSingleShot(true);
    idleLimit.setInterval(IdleLimitMs);
    connect(&idleLimit, &QTimer::timeout, this,
            [this] { end(false, QStringLiteral("no data for %1 s").arg(IdleLimitMs / 1000)); });
    idleLimit.start();
}

void DispatchReceiver::fetch(const QHostAddress &own, const QHostAddress &console)
{
    idleLimit.stop(); // the fetcher keeps its own time limit until connected
    fetcher = new StreamFetcher(own, console, dispatch.port, this);
    connect(fetcher, &StreamFetcher::data, this, &DispatchReceiver::feed);
    connect(fetcher, &StreamFetcher::closed, this, &DispatchReceiver::sourceEnded);
    connect(fetcher, &StreamFetcher::failed, this, [this](const QString &why) { end(false, why); });
    fetcher->start();
}

void DispatchReceiver::begin()
{
    begun = true;
    if (dispatch.full) {
        restore = new RestoreRun(targets, dispatch.capacity, this);
        connect(restore, &RestoreRun::line, this, &DispatchReceiver::line);
        restore->start();
        return;
    }
    if (!ImageStore::isAcceptableName(dispatch.name)) {
        end(false, QStringLiteral("'%1' is not a file name to store").arg(dispatch.name));
        return;
    }
    part.setFileName(store.partPath(dispatch.name));
    if (!store.ensure() || !part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        end(false, QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString()));
}

void DispatchReceiver::feed(const QByteArray &bytes)
{
    if (ended || bytes.isEmpty())
        return;
    if (fetcher == nullptr)
        idleLimit.start();
    if (!begun)
        begin();
    if (ended)
        return;
    const qint64 used = parser.feed(bytes.constData(), bytes.size());
    const QByteArray image = bytes.left(static_cast<int>(used));
    emit relayed(image);
    if (part.isOpen() && part.write(image) != image.size()) {
        end(false, QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString()));
        return;
    }
    if (parser.isFailed())
        end(false, parser.error());
    else if (parser.isDone())
        end(true, QStringLiteral("%1 bytes").arg(parser.bytes()));
    else if (restore)
        restore->progress(parser.position());
}

void DispatchReceiver::sourceEnded()
{
    end(false, QStringLiteral("the stream ended after %1 bytes").arg(parser.bytes()));
}

void DispatchReceiver::stop(const QString &why)
{
    end(false, why);
}

void DispatchReceiver::end(bool received, const QString &detail)
{
    if (ended)
        return;
    ended = true;
    idleLimit.stop();
    if (fetcher) {
        // The console waits for the machine to close after the last byte.
        if (received)
            fetcher->finish();
        else
            fetcher->abort();
    }
    emit relayEnded();

    QString outcome = detail;
    if (part.isOpen()) {
        part.close();
        if (received && !store.commit(dispatch.name)) {
            received = false;
            outcome = QStringLiteral("cannot keep %1").arg(store.path(dispatch.name));
        }
        if (!received)
            QFile::remove(part.fileName());
    }
    if (restore)
        restore->finish(received, outcome);
    if (!received)
        emit line(MachineLines::note(
            QStringLiteral("dispatch of %1 failed: %2").arg(dispatch.name, outcome)));
    else if (dispatch.full)
        emit line(MachineLines::note(
            QStringLiteral("restored %1, %2 sectors").arg(dispatch.name).arg(parser.capacity())));
    else if (isFirmware(dispatch.name))
        emit line(MachineLines::note(QStringLiteral("firmware %1 received, %2 sectors, kept for "
                                                    "the next start")
                                         .arg(dispatch.name)
                                         .arg(parser.capacity())));
    else
        emit line(MachineLines::note(
            QStringLiteral("stored image %1, %2 bytes").arg(dispatch.name).arg(parser.bytes())));
    emit finished(received, outcome);
}
