#include "client/client.h"

#include "app/para.h"
#include "client/framedevice.h"
#include "client/globallog.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/linecodec.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "transfer/transferlimits.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHostAddress>
#include <QPointer>
#include <QStandardItem>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QTextCodec>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

#ifdef __GLIBC__
#include <malloc.h>
#endif

bool Client::isBusyFlag = false;

namespace {
constexpr int MachineTabIndex = 1;
constexpr int TransferPortOffset = 1;
constexpr QChar SourceMark = QLatin1Char('*');
constexpr QChar PercentSign = QLatin1Char('%');
constexpr QChar LineFeed = QLatin1Char('\n');
const char *const DefaultModel = "K31";
const char *const DefaultVendor = "BlueMarshLynx";
constexpr int TranslateSimplified = 1;
constexpr int TranslateTraditional = 2;

// What the console holds of one machine's incoming stream stays bounded: the socket buffers at
// most this much, and the framer is refilled only while it holds less than a chunk or no line.
constexpr qint64 SocketReadBufferBytes = 256 * 1024;
constexpr int ReadChunkBytes = 64 * 1024;

QString withoutMappedPrefix(QString text)
{
    return text.remove(QStringLiteral("::ffff:"));
}

QString withoutSourceMark(QString name)
{
    return name.remove(SourceMark);
}

// Model updates cost a view refresh; progress lines mostly repeat what is shown.
void setCell(QStandardItem *item, const QString &text)
{
    if (item->text() != text)
        item->setText(text);
}

// A tab bar takes "&" for a shortcut mark; a machine's name shows as it is.
QString literalTabText(QString name)
{
    return name.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// glibc keeps the heap that a departed machine's tab freed, for the process's life unless it is
// asked to give it back: once after a burst of departures.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    static bool pending = false;
    if (pending)
        return;
    pending = true;
    QTimer::singleShot(0, [] {
        pending = false;
        malloc_trim(0);
    });
#endif
}

bool reencodesReceivedLines()
{
    return para.translate == TranslateSimplified || para.translate == TranslateTraditional;
}
} // namespace

Client::Client(QTextBrowser *log, QTcpSocket *tcpSocket, QStandardItem *root, QTabWidget *tabWidget,
               QObject *parent)
    : QObject(parent), tcpSocket(tcpSocket), root(root), log(log), tabWidget(tabWidget)
{
    // The socket goes with its machine, so connections that come and go leave nothing behind.
    tcpSocket->setParent(this);
    tcpSocket->setReadBufferSize(SocketReadBufferBytes);
    textStream = new QTextStream(tcpSocket);
    address = withoutMappedPrefix(tcpSocket->peerAddress().toString());
    GlobalLog::append(log, tr("New connection from %1\n").arg(address));
    createRootItems();
    connect(tcpSocket, &QTcpSocket::disconnected, this, &Client::disconnected);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &Client::readyRead);
    createTab();
    // A machine that was in a run when it connected ends it without a start the console saw.
    runLog.start();
}

Client::~Client()
{
    deleteTab();
    delete textStream;
}

bool Client::isConnected()
{
    return tcpSocket->state() == QAbstractSocket::ConnectedState;
}

void Client::abort()
{
    tcpSocket->abort();
}

void Client::write(QString &str)
{
    *textStream << str;
    textStream->flush();
}

int Client::rowInItems()
{
    return items.isEmpty() ? -1 : items.at(IndexDisplayName)->row();
}

QString Client::getName()
{
    return machineName;
}

bool Client::isBusy()
{
    return isBusyFlag;
}

void Client::sendImageToServer(QString deviceName, bool isFull)
{
    ImageLoad::Request request;
    request.kind = ImageLoad::Kind::DeviceImage;
    request.deviceName = deviceName;
    request.isFull = isFull;
    loadFromMachine(request,
                    isFull ? TransferLimits::ConnectFullMs : TransferLimits::ConnectBriefMs);
}

void Client::sendImageFileToServer(QString deviceName, QString setImageFileName)
{
    ImageLoad::Request request;
    request.kind = ImageLoad::Kind::StoredFile;
    request.deviceName = deviceName;
    request.storedFileName = setImageFileName;
    loadFromMachine(request, TransferLimits::ConnectUploadMs);
}

void Client::loadFromMachine(ImageLoad::Request request, int connectLimitMs)
{
    // The machine may leave, and this object go, in any nested event loop from here on: after
    // one, only what is copied or guarded here is touched.
    const QPointer<Client> self(this);
    const ImageLoad::LogSink logLine = globalLogSink();
    isAskStop = false;

    const QString chosen = QFileDialog::getSaveFileName(nullptr, tr("Choose save file name"),
                                                        QStringLiteral("/"), tr("Images (*.img)"));
    if (chosen.isEmpty())
        return;
    isBusyFlag = true;
    // A machine that left while the operator chose the file counts as a stop.
    ImageLoad::Result result = ImageLoad::Result::Stopped;
    if (self) {
        request.address = address;
        request.port = static_cast<quint16>(para.tcpport + TransferPortOffset);
        request.targetPath = ImageLoad::targetPathFor(request.kind, chosen);
        ImageLoad load(request, logLine, [self] { return !self || self->isAskStop; });
        load.setProgress([self](qint64 done, qint64 total) {
            if (self)
                emit self->transferProgress(done, total);
        });
        result = load.run(
            [self](const QString &line) {
                QString command = line;
                if (self)
                    self->write(command);
            },
            connectLimitMs);
    }

    const bool stopRaised = !self || self->isAskStop;
    for (const QString &line : ImageLoad::closingLines(request.kind, result, stopRaised))
        logLine(line);
    isBusyFlag = false;
    if (!self)
        return;
    if (result != ImageLoad::Result::Succeeded)
        isAskStop = false;
    emit transferFinished();
}

bool Client::read(QTcpSocket &socket, char *buf, int len)
{
    const QPointer<Client> self(this);
    return ImageLoad::read(socket, buf, len, [self] { return !self || self->isAskStop; });
}

bool Client::write(QFile &file, char *data, int len)
{
    return ImageLoad::write(file, data, len, globalLogSink());
}

ImageLoad::LogSink Client::globalLogSink() const
{
    // Outlives this object: a load goes on logging after its machine has gone.
    const QPointer<QTextBrowser> globalLog(log);
    return [globalLog](const QString &line) {
        if (globalLog)
            GlobalLog::append(globalLog, line);
    };
}

void Client::readyRead()
{
    // A slot further down may run a nested event loop in which this machine goes away.
    const QPointer<Client> alive(this);
    QByteArray bytes;
    while (!items.isEmpty() && takeLine(bytes)) {
        reportDroppedLines();
        QString line = textStream->codec()->toUnicode(bytes);
        if (inSettingsBlock) {
            takeSettingsLine(line);
            continue;
        }
        if (line.isEmpty()) {
            resumeWhenStalled();
            return;
        }
        if (reencodesReceivedLines())
            line = reencodeReceivedLine(line);
        dispatchLine(line);
        if (!alive)
            return;
    }
    reportDroppedLines();
}

bool Client::takeLine(QByteArray &line)
{
    while (!framer.takeLine(line)) {
        if (!fillFramer())
            return false;
    }
    return true;
}

bool Client::fillFramer()
{
    char chunk[ReadChunkBytes];
    bool filled = false;
    while (framer.bufferedBytes() < ReadChunkBytes || !framer.hasLine()) {
        const qint64 got = tcpSocket->read(chunk, ReadChunkBytes);
        if (got <= 0)
            break;
        framer.append(chunk, got);
        filled = true;
    }
    return filled;
}

void Client::resumeWhenStalled()
{
    // Lines behind an empty line wait for the next pass, normally started by new data. Data left
    // in the socket would never start it: a socket with a bounded buffer reads on from the
    // system only once that buffer has been emptied.
    if (tcpSocket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Client::readyRead, Qt::QueuedConnection);
}

void Client::reportDroppedLines()
{
    for (qint64 length : framer.takeDroppedLines()) {
        QString note = tr("Dropped a line of %1 bytes from the machine: lines are limited to %2 "
                          "bytes.")
                           .arg(length)
                           .arg(framer.maxLineBytes());
        logToTab(note);
    }
}

void Client::dispatchLine(QString &line)
{
    if (line.startsWith(DeviceStatus::Marker))
        parseDeviceStatus(line);
    else if (line.startsWith(GlobalStatus::Marker))
        parseGlobalStatus(line);
    else
        logToTab(line);
}

void Client::askStop()
{
    GlobalLog::append(log, tr("Client %1 is being asked stop!\n").arg(address));
    QString stop = QStringLiteral("t\n");
    write(stop);
    isAskStop = true;
}

void Client::disconnected()
{
    if (items.isEmpty())
        return;
    GlobalLog::append(log, tr("%1 is disconnected!\n").arg(address));
    if (inSettingsBlock)
        finishSettingsBlock();
    recorder.disconnected();
    root->removeRow(rowInItems());
    items.clear();
    runLog.discard();
    isAskStop = true;
    emit abortServer(this);
    deleteLater();
}

void Client::createRootItems()
{
    const QString texts[ColumnCount] = {tcpSocket->peerAddress().toString(),
                                        QString::fromLatin1(DefaultModel),
                                        QString::fromLatin1(DefaultVendor)};
    for (const QString &text : texts)
        items.append(new QStandardItem(text));
    root->appendRow(items);
}

void Client::addPortItems(QString &str)
{
    QStandardItem *machine = items.at(IndexDisplayName);
    const QStringList names = MachineInfo::portNames(str);
    const int room = MaxPortRows - machine->rowCount();
    for (int port = 0; port < names.size() && port < room; ++port) {
        QList<QStandardItem *> row;
        row.append(new QStandardItem(names.at(port)));
        for (int column = IndexDisplayName + 1; column < ColumnCount; ++column)
            row.append(new QStandardItem());
        machine->appendRow(row);
    }
    if (names.size() > room) {
        QString note = tr("Ignored %1 ports of the machine: it may have at most %2 port rows.")
                           .arg(names.size() - room)
                           .arg(MaxPortRows);
        logToTab(note);
    }
}

void Client::clearItems()
{
    QStandardItem *machine = items.at(IndexDisplayName);
    for (int row = 0; row < machine->rowCount(); ++row) {
        // Port 0 keeps its access name across runs: it is the one device reached the same way.
        const int lastBlanked = row == 0 ? IndexPercentage : IndexAccessName;
        for (int column = IndexModelName; column <= lastBlanked; ++column)
            setCell(machine->child(row, column), QString());
    }
}

int Client::findRowInItems(QString accessName)
{
    QStandardItem *machine = items.at(IndexDisplayName);
    for (int row = 0; row < machine->rowCount(); ++row) {
        const QString known = machine->child(row, IndexAccessName)->text();
        if (!known.isEmpty() && accessName.contains(known))
            return row;
    }
    return -1;
}

void Client::parseDeviceStatus(QString &str)
{
    const DeviceStatus status = DeviceStatus::parse(str);
    switch (status.kind) {
    case DeviceStatus::Identify:
        identifyDevice(status);
        return;
    case DeviceStatus::Other:
        logToTab(str);
        return;
    case DeviceStatus::Progress:
    case DeviceStatus::Failed:
    case DeviceStatus::Passed:
    case DeviceStatus::State:
        break;
    }

    const int row = targetRow(status.access);
    if (row < 0)
        return;
    QString result;
    switch (status.kind) {
    case DeviceStatus::Progress:
        showProgress(row, status.done);
        return;
    case DeviceStatus::Failed:
        result = QStringLiteral("NG");
        break;
    case DeviceStatus::Passed:
        result = QStringLiteral("OK");
        break;
    case DeviceStatus::State:
        result = status.state;
        break;
    case DeviceStatus::Identify:
    case DeviceStatus::Other:
        return;
    }
    setCell(items.at(IndexDisplayName)->child(row, IndexStatus), result);
    recorder.statusShown(row, result);
}

int Client::targetRow(const QString &accessName)
{
    const int row = findRowInItems(accessName);
    if (row >= 0)
        return row;
    for (int slot = 0; slot < PortSlots; ++slot) {
        if (selimgdevice[slot])
            return slot;
    }
    return -1;
}

void Client::identifyDevice(const DeviceStatus &status)
{
    IsNonSourceMode = false;
    QStandardItem *machine = items.at(IndexDisplayName);
    int port = -1;
    for (int row = 0; row < machine->rowCount() && port < 0; ++row) {
        if (withoutSourceMark(machine->child(row, IndexDisplayName)->text()) == status.port)
            port = row;
    }
    if (port < 0)
        return;
    recorder.identified(port, status);
    rates.forget(port);
    if (port < PortSlots) {
        tarcapacity[port] = status.capacity;
        selimgdevice[port] = true;
    }
    setCell(machine->child(port, IndexModelName), status.model);
    setCell(machine->child(port, IndexVendorName), status.vendor);
    setCell(machine->child(port, IndexCapacity), status.capacityText);
    setCell(machine->child(port, IndexStatus), QString());
    setCell(machine->child(port, IndexPercentage), QString());
    // One device is reached by one access name: it leaves the row it was seen in before.
    for (int row = 0; row < machine->rowCount(); ++row) {
        QStandardItem *cell = machine->child(row, IndexAccessName);
        if (cell->text() == status.access)
            cell->setText(QString());
    }
    setCell(machine->child(port, IndexAccessName), status.access);
}

void Client::showProgress(int row, quint64 done)
{
    quint64 total = capacity;
    if (IsNonSourceMode)
        total = row < PortSlots ? tarcapacity[row] : 0;
    if (total == 0)
        return;
    const quint64 percent = progressPercent(done, total);
    recorder.percentShown(row, percent);
    rates.sample(row, done, total);
    const QString percentage = QString::number(percent) + PercentSign;
    setCell(items.at(IndexDisplayName)->child(row, IndexPercentage), percentage);
    setCell(items.at(IndexPercentage), percentage);
}

void Client::parseGlobalStatus(QString &str)
{
    GlobalStatus status = GlobalStatus::parse(str);
    QString &payload = status.payload;
    switch (status.kind) {
    case GlobalStatus::RunStart: {
        clearItems();
        setCell(items.at(IndexStatus), payload);
        clearLog();
        recorder.runStarted(payload);
        rates.clear();
        GlobalLog::append(log, machineName + QStringLiteral(" start ") + payload +
                                   QStringLiteral(".\n"));
        QString started = tr("Start %1\n").arg(payload);
        logToTab(started);
        break;
    }
    case GlobalStatus::RunEnd: {
        GlobalLog::append(log, tr("%1 complete %2\n").arg(machineName, payload));
        setCell(items.at(IndexStatus), QString());
        const QDateTime ended = QDateTime::currentDateTime();
        recorder.runEnded(ended, saveLog(ended));
        break;
    }
    case GlobalStatus::RunTotal:
        capacity = status.total;
        break;
    case GlobalStatus::NoSource:
        IsNonSourceMode = true;
        break;
    case GlobalStatus::Terminate: {
        GlobalLog::append(log, tr("%1 ask for termination (%2)!\n").arg(machineName, payload));
        QString asked = tr("Ask for terminate!\n");
        logToTab(asked);
        runLog.discard();
        isAskStop = true;
        recorder.terminated();
        emit abortServer(this);
        break;
    }
    case GlobalStatus::MachineInfo:
        applyMachineInfo(payload);
        break;
    case GlobalStatus::SettingsBlock:
        view->clearSettings();
        settingsSourceLine.clear();
        inSettingsBlock = true;
        break;
    case GlobalStatus::FileList:
        view->reflashFiles(payload);
        emit reflashFiles(payload);
        break;
    case GlobalStatus::Other:
        logToTab(str);
        break;
    }
}

void Client::applyMachineInfo(const QString &payload)
{
    MachineInfo info = MachineInfo::parse(payload);
    view->setWindowTitle(info.name);
    machineName = info.name;
    setCell(items.at(IndexDisplayName), machineName);
    setCell(items.at(IndexModelName), info.model);
    setCell(items.at(IndexVendorName), info.vendor);
    setCell(items.at(IndexAccessName), info.version);
    view->updateStatus(info.text);
    if (tabWidget && widget)
        tabWidget->setTabText(tabWidget->indexOf(widget), literalTabText(machineName));
    addPortItems(info.portSection);
}

void Client::takeSettingsLine(const QString &line)
{
    if (line.isEmpty())
        return;
    if (line.contains(SettingsBlock::sourceKey()))
        settingsSourceLine = line;
    if (line.contains(SettingsBlock::endMark())) {
        finishSettingsBlock();
        return;
    }
    QString shown = line + LineFeed;
    view->addSettings(shown);
}

void Client::finishSettingsBlock()
{
    inSettingsBlock = false;
    source_name = SettingsBlock::sourceName(settingsSourceLine);
    settingsSourceLine.clear();
    // Exactly the port the block names carries the mark; a block naming none clears it.
    QStandardItem *machine = items.at(IndexDisplayName);
    for (int row = 0; row < machine->rowCount(); ++row) {
        QStandardItem *cell = machine->child(row, IndexDisplayName);
        const QString name = withoutSourceMark(cell->text());
        const bool isSource = !source_name.isEmpty() && name == source_name;
        setCell(cell, isSource ? SourceMark + name : name);
    }
}

void Client::createTab()
{
    widget = new QWidget(tabWidget);
    auto *layout = new QVBoxLayout(widget);
    view = new FrameDevice(widget);
    layout->addWidget(view);
    tabWidget->insertTab(MachineTabIndex, widget, machineName);
}

void Client::deleteTab()
{
    if (tabWidget && widget)
        tabWidget->removeTab(tabWidget->indexOf(widget));
    if (widget) {
        connect(widget, &QObject::destroyed, releaseFreedMemory);
        widget->deleteLater();
    }
}

void Client::clearLog()
{
    view->clearLog();
    runLog.start();
    std::fill(std::begin(tarcapacity), std::end(tarcapacity), 0);
    std::fill(std::begin(selimgdevice), std::end(selimgdevice), false);
}

QString Client::saveLog(const QDateTime &when)
{
    if (!para.savelog) {
        runLog.discard();
        return QString();
    }
    const QString name = runLogFileName(machineName, when);
    if (runLog.isComplete() && runLog.saveAs(name))
        return name;
    // No run kept whole (an end after an end or a termination, "Save Log" switched on during the
    // run, a full disk): the tab's text, as it shows.
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(QTextCodec::codecForLocale()->fromUnicode(view->getLogBrowser()->toPlainText()));
    return file.fileName();
}

void Client::logToTab(QString &line)
{
    view->log(line);
    // The run log is written only with "Save Log" on; a line passed over leaves it incomplete.
    if (para.savelog)
        runLog.append(line);
    else
        runLog.discard();
}
