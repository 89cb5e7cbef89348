#include <QtTest>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>

#include "app/para.h"
#include "client/client.h"
#include "image/imagefile.h"
#include "server/dispatchcommand.h"
#include "server/server.h"
#include "server/transferlimits.h"
#include "testkit/imagebuilder.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/testenv.h"

#include <functional>
#include <memory>

using E = SStripInLogDiskMy;

namespace {
const QHostAddress ConsoleAddress(QStringLiteral("127.0.0.1"));
const QString M1Address = QStringLiteral("127.0.0.2");
const QString M2Address = QStringLiteral("127.0.0.3");
const QString M3Address = QStringLiteral("127.0.0.4");
const QString StrangerAddress = QStringLiteral("127.0.0.9");
constexpr int WaitMs = 10000;
constexpr int RetryMs = 20;
// Time limits at 5%: a minute of waiting for a machine becomes 3 s.
constexpr int TestMsPerSecond = 50;
constexpr qint64 Never = -1;
const char *const Restore = "Restore";
const char *const RestoreToImage = "Restore to Image";

// A command port whose transfer port (+1) is free too.
quint16 freePortPair()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto base = static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(40000));
        QTcpServer command;
        QTcpServer transfer;
        if (command.listen(QHostAddress::Any, base) && transfer.listen(QHostAddress::Any, base + 1))
            return base;
    }
    return 0;
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Three runs, one of them over a block, and a tail: 20,000 sectors of capacity.
ImageBuilder sampleImage()
{
    ImageBuilder image;
    image.options = ImageHead::OptionFastChecksum;
    image.devCap = 20000;
    image.checksum = 0x00c0ffee;
    image.entries = {E::run(0, 3), E::run(100, 2049), E::run(9000, 2048), E::end(20000, 20000)};
    return image;
}

// The console's widgets around one server, with the transfer port free beside its command port.
struct ConsoleRig
{
    QTextBrowser log;
    QStandardItemModel model;
    QTabWidget tabs;
    std::unique_ptr<Server> server;
    quint16 transferPort = 0;

    bool start()
    {
        const quint16 port = freePortPair();
        if (!port)
            return false;
        para.tcpport = port;
        transferPort = static_cast<quint16>(port + 1);
        tabs.addTab(new QWidget, QStringLiteral("Machines Summary"));
        server = std::make_unique<Server>(&log, port, model.invisibleRootItem(), &tabs);
        return true;
    }
    QString text() const { return log.toPlainText(); }
    int mark() const { return text().size(); }
    QString since(int mark) const { return text().mid(mark); }
};

// A duplicator's command connection from its own loopback address; named when given a name.
class Machine
{
public:
    Machine(ConsoleRig &console, const QString &address) : console(console), address(address) {}

    bool connect(const QString &name = QString())
    {
        if (!peer.connectTo(ConsoleAddress, static_cast<quint16>(para.tcpport),
                            QHostAddress(address)))
            return false;
        if (!ScriptedPeer::waitUntil([this] { return client(); }, WaitMs))
            return false;
        if (name.isEmpty())
            return true;
        peer.sendLine(QStringLiteral("&M %1|Model|Vendor|1.0|2|SATA1|SATA2|END").arg(name));
        QString found = name;
        return ScriptedPeer::waitUntil(
            [this, &found] { return console.server->findClientWithName(found); }, WaitMs);
    }
    Client *client() const
    {
        for (Client *c : console.server->clients())
            if (c->address == address)
                return c;
        return nullptr;
    }
    // The dispatch commands received, without their line feeds.
    QStringList commands() const
    {
        QStringList lines;
        for (const QByteArray &line : peer.receivedLines())
            if (line.startsWith("D "))
                lines << QString::fromUtf8(line);
        return lines;
    }

    ConsoleRig &console;
    QString address;
    ScriptedPeer peer;
};

// A machine's transfer port for a load: accepts the console, sends the first sendBytes bytes of
// the stream (all when Never), then closes, or stalls with the connection open.
class LoadSender : public QObject
{
public:
    LoadSender(QByteArray stream, qint64 sendBytes = Never, bool closeAfter = true)
        : stream(std::move(stream)), sendBytes(sendBytes), closeAfter(closeAfter)
    {
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                ++connections;
                busyWhenConnected = Client::isBusy();
                socket->write(this->sendBytes == Never ? this->stream
                                                       : this->stream.left(int(this->sendBytes)));
                if (this->closeAfter)
                    socket->disconnectFromHost();
            }
        });
    }
    bool listen(const QString &address, quint16 port)
    {
        return server.listen(QHostAddress(address), port);
    }

    int connections = 0;
    bool busyWhenConnected = false;

private:
    QTcpServer server;
    QByteArray stream;
    qint64 sendBytes;
    bool closeAfter;
};

// A machine taking a dispatch: connects to the console's transfer port from its address (again
// while refused), keeps what it reads, and closes once it has closeAt bytes.
class DispatchReader : public QObject
{
public:
    DispatchReader(const QString &from, quint16 port, qint64 closeAt)
        : from(from), port(port), closeAt(closeAt)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, this, [this] {
            received += socket.readAll();
            if (onReceived)
                onReceived(received.size());
            if (this->closeAt != Never && received.size() >= this->closeAt)
                socket.disconnectFromHost();
        });
        QObject::connect(&socket, &QTcpSocket::connected, this, [this] { wasConnected = true; });
        QObject::connect(&socket, &QAbstractSocket::errorOccurred, this, [this] {
            if (!wasConnected)
                QTimer::singleShot(RetryMs, this, &DispatchReader::start);
        });
    }
    void start()
    {
        socket.abort();
        socket.bind(QHostAddress(from));
        socket.connectToHost(ConsoleAddress, port);
    }
    // Connects as soon as the machine has its dispatch command.
    void startOnCommand(Machine &machine)
    {
        QObject::connect(&machine.peer, &ScriptedPeer::dataReceived, this, [this, &machine] {
            if (!started && !machine.commands().isEmpty()) {
                started = true;
                start();
            }
        });
    }

    QByteArray received;
    bool wasConnected = false;
    std::function<void(int)> onReceived;

private:
    QTcpSocket socket;
    QString from;
    quint16 port;
    qint64 closeAt;
    bool started = false;
};

// As the operator types a name, for dialogs looked at before they are answered.
void typeFileName(QFileDialog *dialog, const QString &path)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides accept()
}

QString failureText(const QString &fileName)
{
    return QStringLiteral("Fails dispatching image %1!\nProcess terminate!\n").arg(fileName);
}

// Queued: the stop comes as the operator's click does, from the event loop.
void pressStop(Server *server)
{
    QMetaObject::invokeMethod(server, "localAbort", Qt::QueuedConnection);
}
} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void announcedName_data();
    void announcedName();
    void mediaOf_data();
    void mediaOf();
    void firmwarePath_data();
    void firmwarePath();
    void commandLine();
    void sectorsOf_data();
    void sectorsOf();

    void loadStoresStream_data();
    void loadStoresStream();
    void cancelledSaveDialog_data();
    void cancelledSaveDialog();
    void stopDuringLoadData();
    void machineLeavesDuringLoad_data();
    void machineLeavesDuringLoad();
    void machineLeavesDuringSaveDialog();

    void dispatchToOneMachine();
    void dispatchChainsThreeMachines();
    void severalSelectedDevices_data();
    void severalSelectedDevices();
    void firmwareDispatch();
    void firmwareDeclined();
    void firmwareMarkIsCaseSensitive();
    void unusableImagesRefused_data();
    void unusableImagesRefused();
    void missingMachinesSkipped();
    void noMachineFound();
    void machineLeavesDuringQuestions();
    void strangerRefused();
    void stopWhileWaitingForMachine();
    void stopDuringDispatchData();
    void machineLeavesDuringDispatch();
    void staleStopDoesNotEndNextDispatch();

private:
    Machine *addMachine(const QString &address, const QString &name = QString());
    QString writeImage(const QString &name, const QByteArray &bytes);
    // Answers the file dialog, the method box and the confirmation of a dispatch.
    void answerDispatch(const QString &fileName, const char *method);
    void dispatch(QStringList attend, const QStringList &selected = QStringList());

    std::unique_ptr<ConsoleRig> console;
    QList<Machine *> machines;
    std::unique_ptr<ModalAnswerer> answerer;
    QTemporaryDir dir;
};

void TestTransfers::initTestCase()
{
    Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
    QVERIFY(dir.isValid());
}

void TestTransfers::init()
{
    TransferLimits::setMsPerSecond(TestMsPerSecond);
    para.translate = 0;
    console = std::make_unique<ConsoleRig>();
    QVERIFY(console->start());
    answerer = std::make_unique<ModalAnswerer>();
}

void TestTransfers::cleanup()
{
    QCOMPARE(answerer->pending(), 0);
    answerer.reset();
    qDeleteAll(machines);
    machines.clear();
    console.reset();
    QVERIFY(!Client::isBusy());
    TransferLimits::setMsPerSecond(TransferLimits::ProductionMsPerSecond);
}

Machine *TestTransfers::addMachine(const QString &address, const QString &name)
{
    auto *machine = new Machine(*console, address);
    machines << machine;
    return machine->connect(name) ? machine : nullptr;
}

QString TestTransfers::writeImage(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    return writeFile(path, bytes) ? path : QString();
}

void TestTransfers::answerDispatch(const QString &fileName, const char *method)
{
    answerer->chooseFile(fileName);
    answerer->pressButtonText(QString::fromLatin1(method));
    answerer->pressButton(QMessageBox::Yes);
}

void TestTransfers::dispatch(QStringList attend, const QStringList &selected)
{
    console->server->sendImageToClients(attend, selected);
}

// --- the dispatch command -------------------------------------------------------------------

void TestTransfers::announcedName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces in folder and name") << "/home/op/Disk Images/My Image 01.img"
                                               << "MyImage01.img";
    QTest::newRow("plain") << "/a/b.img"
                           << "b.img";
    QTest::newRow("no folder") << "x y.img"
                               << "xy.img";
}

void TestTransfers::announcedName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(DispatchCommand::announcedName(path), name);
}

void TestTransfers::mediaOf_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("media");
    QTest::newRow("source mark dropped") << "M1|SATA1*|SATA2"
                                         << "SATA1|SATA2";
    QTest::newRow("machine only") << "M1"
                                  << "";
    QTest::newRow("empty device list") << "M1|"
                                       << "";
    QTest::newRow("every mark") << "M1|*U*SB*"
                                << "USB";
}

void TestTransfers::mediaOf()
{
    QFETCH(QString, entry);
    QFETCH(QString, media);
    QCOMPARE(DispatchCommand::mediaOf(entry), media);
}

void TestTransfers::firmwarePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("firmware");
    QTest::newRow("mark in name, image extension") << "/fw/k31update_v2.img" << true;
    QTest::newRow("mark in folder") << "/fw/zr8sataupdate-3/image.img" << true;
    QTest::newRow("nvme") << "/a/zr8nvmeupdate.img" << true;
    QTest::newRow("usb inside a word") << "/a/xzr8usbupdatex.img" << true;
    QTest::newRow("other letter case") << "/fw/K31Update_v2.img" << false;
    QTest::newRow("usb upper case") << "/fw/ZR8USBUPDATE.img" << false;
    QTest::newRow("plain image") << "/img/backup.img" << false;
}

void TestTransfers::firmwarePath()
{
    QFETCH(QString, path);
    QFETCH(bool, firmware);
    QCOMPARE(DispatchCommand::isFirmwarePath(path), firmware);
}

void TestTransfers::commandLine()
{
    DispatchCommand command;
    command.port = 53276;
    command.fileName = QStringLiteral("a%1b.img");
    command.capacity = Q_INT64_C(8589934592);
    command.method = DispatchCommand::MethodFull;
    command.media = QStringLiteral("SATA1|SATA2");
    QCOMPARE(command.line(), QStringLiteral("D 53276 a%1b.img 8589934592 full : : SATA1|SATA2\n"));
    command.previous = DispatchCommand::neighbour(QStringLiteral("10.0.0.7"), 53276);
    QCOMPARE(command.line(),
             QStringLiteral("D 53276 a%1b.img 8589934592 full 10.0.0.7:53276 : SATA1|SATA2\n"));
}

void TestTransfers::sectorsOf_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("sectors");
    QTest::newRow("empty") << qint64(0) << qint64(0);
    QTest::newRow("1000 bytes") << qint64(1000) << qint64(2);
    QTest::newRow("one block") << qint64(1048576) << qint64(2048);
    QTest::newRow("one byte more") << qint64(1048577) << qint64(2049);
}

void TestTransfers::sectorsOf()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, sectors);
    QCOMPARE(DispatchCommand::sectorsOf(bytes), sectors);
}

// --- loads from a machine ---------------------------------------------------------------------

void TestTransfers::loadStoresStream_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("isFull");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("lastLine");

    QTest::newRow("brief, .img added") << false << false << "backup"
                                       << "backup.img"
                                       << "C SATA1 %1 0"
                                       << "load image has succeed";
    QTest::newRow("full, suffix is case-sensitive") << false << true << "backup.IMG"
                                                    << "backup.IMG.img"
                                                    << "C SATA1 %1 1"
                                                    << "load image has succeed";
    QTest::newRow("upload keeps the chosen name") << true << false << "copy"
                                                  << "copy"
                                                  << "C SATA1 %1 0 1 stored 1.img"
                                                  << "load image file has succeed";
}

void TestTransfers::loadStoresStream()
{
    QFETCH(bool, upload);
    QFETCH(bool, isFull);
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QFETCH(QString, command);
    QFETCH(QString, lastLine);

    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QByteArray stream = sampleImage().build(ImageBuilder::Rule::Load);
    LoadSender sender(stream);
    QVERIFY(sender.listen(M1Address, console->transferPort));
    QSignalSpy progress(console->server.get(), &Server::transferProgress);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);

    QString caption, directory;
    QStringList filters;
    bool hasParent = true;
    answerer->perform([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close(); // not the widget expected: the checks below tell
            return;
        }
        caption = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        hasParent = dialog->parentWidget() != nullptr;
        typeFileName(dialog, dir.filePath(chosen));
    });
    const int mark = console->mark();
    if (upload)
        machine->client()->sendImageFileToServer(QStringLiteral("SATA1*"),
                                                 QStringLiteral("stored 1.img"));
    else
        machine->client()->sendImageToServer(QStringLiteral("SATA1*"), isFull);

    QCOMPARE(caption, QStringLiteral("Choose save file name"));
    QCOMPARE(directory, QStringLiteral("/"));
    QCOMPARE(filters, QStringList{"Images (*.img)"});
    QVERIFY(!hasParent);
    QCOMPARE(machine->peer.receivedLines(), QList<QByteArray>()
                                                << command.arg(console->transferPort).toUtf8());
    QCOMPARE(sender.connections, 1);
    QVERIFY(sender.busyWhenConnected);
    QVERIFY(!Client::isBusy());
    QCOMPARE(fileBytes(dir.filePath(stored)), stream);
    const QString log = console->since(mark);
    QVERIFY2(
        log.contains(QStringLiteral("Ask client %1 device SATA1 for sending image to server by "
                                    "port %2 and save with name %3\n")
                         .arg(M1Address)
                         .arg(console->transferPort)
                         .arg(dir.filePath(stored))),
        qPrintable(log));
    QVERIFY2(log.endsWith(lastLine + "\n"), qPrintable(log));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(stream.size()));
    QCOMPARE(progress.last().at(1).toLongLong(), qint64(stream.size()));
    QCOMPARE(finished.count(), 1);
}

void TestTransfers::cancelledSaveDialog_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("load") << false;
    QTest::newRow("upload") << true;
}

void TestTransfers::cancelledSaveDialog()
{
    QFETCH(bool, upload);
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    LoadSender sender(sampleImage().build(ImageBuilder::Rule::Load));
    QVERIFY(sender.listen(M1Address, console->transferPort));
    bool busyInDialog = true;
    answerer->perform([&](QWidget *dialog) {
        busyInDialog = Client::isBusy();
        static_cast<QDialog *>(dialog)->reject();
    });
    const int mark = console->mark();
    if (upload)
        machine->client()->sendImageFileToServer(QStringLiteral("SATA1"), QStringLiteral("a.img"));
    else
        machine->client()->sendImageToServer(QStringLiteral("SATA1"), false);
    QVERIFY(!busyInDialog);
    QVERIFY(!Client::isBusy());
    QCOMPARE(console->since(mark), QString());
    QVERIFY(!ScriptedPeer::waitUntil([&] { return !machine->peer.received().isEmpty(); }, 100));
    QCOMPARE(sender.connections, 0);
}

void TestTransfers::stopDuringLoadData()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const ImageBuilder image = sampleImage();
    const QByteArray stream = image.build(ImageBuilder::Rule::Load);
    // Head, table and the first two runs, then the machine holds on.
    const int firstRuns = image.head().size() + image.table().size() + (3 + 2049) * SectorSize;
    LoadSender sender(stream, firstRuns, false);
    QVERIFY(sender.listen(M1Address, console->transferPort));
    bool stopped = false;
    connect(console->server.get(), &Server::transferProgress, this, [&](qint64 done, qint64) {
        if (done == firstRuns && !stopped) {
            stopped = true;
            pressStop(console->server.get());
        }
    });
    answerer->chooseFile(dir.filePath(QStringLiteral("stopped.img")));
    const int mark = console->mark();
    machine->client()->sendImageToServer(QStringLiteral("SATA1"), false);

    QVERIFY(stopped);
    QVERIFY(!Client::isBusy());
    QVERIFY(!machine->client()->stopRequested());
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith("is terminated!\nload image has failed!\n"), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Client %1 is being asked stop!\n").arg(M1Address)));
    QVERIFY(machine->peer.waitForReceived(machine->peer.received().indexOf('\n') + 3));
    QVERIFY(machine->peer.received().endsWith("t\n"));
    // What was stored stays, whole blocks only.
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("stopped.img"))), stream.left(firstRuns));
}

void TestTransfers::machineLeavesDuringLoad_data()
{
    QTest::addColumn<bool>("deleteAtOnce");
    QTest::newRow("connection closes") << false;
    // As when the object goes in an event loop that runs before the load looks at its stop.
    QTest::newRow("object deleted under the load") << true;
}

void TestTransfers::machineLeavesDuringLoad()
{
    QFETCH(bool, deleteAtOnce);
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const ImageBuilder image = sampleImage();
    const int tableEnd = image.head().size() + image.table().size();
    LoadSender sender(image.build(ImageBuilder::Rule::Load), tableEnd + 1000, false);
    QVERIFY(sender.listen(M1Address, console->transferPort));
    QPointer<Client> client(machine->client());
    connect(console->server.get(), &Server::transferProgress, this, [&](qint64 done, qint64) {
        if (done != tableEnd)
            return;
        machine->peer.abort();
        if (deleteAtOnce)
            delete client.data();
    });
    QSignalSpy finished(console->server.get(), &Server::transferFinished);
    const QString target = dir.filePath(QStringLiteral("gone-%1.img").arg(deleteAtOnce));
    answerer->chooseFile(target);
    const int mark = console->mark();
    client->sendImageToServer(QStringLiteral("SATA1"), true);

    QVERIFY(!Client::isBusy());
    QTRY_VERIFY(!client);
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith("is terminated!\nload image has failed!\n"), qPrintable(log));
    QCOMPARE(fileBytes(target).size(), tableEnd);
    QCOMPARE(finished.count(), deleteAtOnce ? 0 : 1);
}

void TestTransfers::machineLeavesDuringSaveDialog()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    LoadSender sender(sampleImage().build(ImageBuilder::Rule::Load));
    QVERIFY(sender.listen(M1Address, console->transferPort));
    QPointer<Client> client(machine->client());
    answerer->perform([&](QWidget *modal) {
        machine->peer.abort();
        ScriptedPeer::waitUntil([&] { return !client; }, WaitMs);
        typeFileName(static_cast<QFileDialog *>(modal), dir.filePath(QStringLiteral("late.img")));
    });
    const int mark = console->mark();
    client->sendImageToServer(QStringLiteral("SATA1"), false);

    QVERIFY(!client);
    QVERIFY(!Client::isBusy());
    QCOMPARE(sender.connections, 0);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("late.img"))));
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith("is terminated!\nload image has failed!\n"), qPrintable(log));
}

// --- dispatches to machines -------------------------------------------------------------------

void TestTransfers::dispatchToOneMachine()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("Disk Images/My Image 01.img"), image);
    QVERIFY(!path.isEmpty());
    DispatchReader reader(M1Address, console->transferPort, image.size());
    reader.startOnCommand(*machine);
    QSignalSpy progress(console->server.get(), &Server::transferProgress);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);

    QString directory, defaultButton;
    QStringList filters;
    answerer->perform([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close(); // not the widget expected: the checks below tell
            return;
        }
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        typeFileName(dialog, path);
    });
    answerer->perform([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close(); // not the widget expected: the checks below tell
            return;
        }
        defaultButton = box->defaultButton()->text();
        for (QAbstractButton *button : box->buttons())
            if (button->text() == QLatin1String(Restore))
                button->click();
    });
    bool busyInQuestion = true;
    answerer->perform([&](QWidget *modal) {
        busyInQuestion = console->server->isBusy();
        static_cast<QMessageBox *>(modal)->button(QMessageBox::Yes)->click();
    });
    const int mark = console->mark();
    dispatch({"M1|SATA1*|SATA2"});

    const QList<ModalAnswerer::Seen> seen = answerer->seen();
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen.at(0).title, QStringLiteral("Choose image file name"));
    QCOMPARE(directory, QStringLiteral("/"));
    QCOMPARE(filters, QStringList{"Images (*.img)"});
    QCOMPARE(seen.at(1).text, QStringLiteral("Writting Method"));
    QVERIFY(seen.at(1).informativeText.startsWith("Restore to Image will copy the image file"));
    QCOMPARE(seen.at(1).buttons.size(), 3);
    for (const char *label : {RestoreToImage, Restore, "Cancel"})
        QVERIFY(seen.at(1).buttons.contains(QString::fromLatin1(label)));
    QCOMPARE(defaultButton, QStringLiteral("Cancel"));
    QCOMPARE(seen.at(2).title, QStringLiteral("WARNING"));
    QCOMPARE(seen.at(2).text,
             QStringLiteral("Restore from %1 to \nM1|SATA1*|SATA2\n Are you sure?").arg(path));
    QVERIFY(!busyInQuestion);

    const QString command =
        QStringLiteral("D %1 MyImage01.img 20000 full : : SATA1|SATA2").arg(console->transferPort);
    QCOMPARE(machine->commands(), QStringList{command});
    QCOMPARE(reader.received, image);
    const QString log = console->since(mark);
    QVERIFY2(log.startsWith("Attend devices is M1|SATA1*|SATA2 \n"), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Ask client %1 for sending file MyImage01.img,capacity "
                                        "20000, method full\nCommand is: %2\n")
                             .arg(M1Address, command)));
    QVERIFY(log.contains("image checksum is 0xc0ffee\n"));
    QVERIFY2(log.endsWith("Client is disconnected\n"), qPrintable(log));
    QVERIFY(!console->server->isBusy());
    QVERIFY(!console->server->stopRequested());
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(image.size()));
    QCOMPARE(progress.last().at(1).toLongLong(), qint64(image.size()));
    QCOMPARE(finished.count(), 1);
}

void TestTransfers::dispatchChainsThreeMachines()
{
    Machine *first = addMachine(M1Address, QStringLiteral("M1"));
    Machine *second = addMachine(M2Address, QStringLiteral("M2"));
    Machine *third = addMachine(M3Address, QStringLiteral("M3"));
    QVERIFY(first && second && third);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("chain.img"), image);
    DispatchReader reader(M1Address, console->transferPort, image.size());
    reader.startOnCommand(*first);
    answerDispatch(path, RestoreToImage);
    dispatch({"M1|SATA1*", "M2|SATA2", "M3|SATA1|SATA2"}, {"SATA1*"});

    // One selected device names the confirmation; each machine still gets its own media.
    QCOMPARE(answerer->last().text,
             QStringLiteral("Restore image file %1 to SATA1* \nAre you sure?").arg(path));
    const quint16 tp = console->transferPort;
    const QString line = QStringLiteral("D %1 chain.img 20000 image %2 %3 %4");
    QCOMPARE(first->commands(),
             QStringList{line.arg(tp).arg(":", M2Address + ":" + QString::number(tp), "SATA1")});
    QCOMPARE(second->commands(),
             QStringList{line.arg(tp).arg(M1Address + ":" + QString::number(tp),
                                          M3Address + ":" + QString::number(tp), "SATA2")});
    QCOMPARE(third->commands(), QStringList{line.arg(tp).arg(M2Address + ":" + QString::number(tp),
                                                             ":", "SATA1|SATA2")});
    // The head of the chain takes the stream; it comes byte for byte as the file holds it.
    QCOMPARE(reader.received, image);
    QVERIFY(console->text().endsWith("Client is disconnected\n"));
}

void TestTransfers::severalSelectedDevices_data()
{
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("chosen"); // empty: refused with "Please select one Device!"

    QTest::newRow("second chosen") << QStringList{"SATA1", "USB2*"} << true << "USB2*";
    QTest::newRow("cancel keeps the first") << QStringList{"SATA1", "USB2*"} << false << "SATA1";
    QTest::newRow("nothing to name") << QStringList{"", "USB2"} << false << "";
}

void TestTransfers::severalSelectedDevices()
{
    QFETCH(QStringList, selected);
    QFETCH(bool, accept);
    QFETCH(QString, chosen);

    Machine *first = addMachine(M1Address, QStringLiteral("M1"));
    Machine *second = addMachine(M2Address, QStringLiteral("M2"));
    QVERIFY(first && second);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("several.img"), image);
    DispatchReader reader(M1Address, console->transferPort, image.size());
    reader.startOnCommand(*first);
    answerer->chooseFile(path);
    answerer->pressButtonText(QString::fromLatin1(RestoreToImage));
    QStringList offered;
    answerer->perform([&](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>();
        if (!list) {
            dialog->close();
            return;
        }
        for (int row = 0; row < list->model()->rowCount(); ++row)
            offered << list->model()->index(row, 0).data().toString();
        if (!accept) {
            static_cast<QDialog *>(dialog)->reject();
            return;
        }
        list->setCurrentIndex(list->model()->index(1, 0));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    if (chosen.isEmpty())
        answerer->pressButton(QMessageBox::Ok);
    else
        answerer->pressButton(QMessageBox::Yes);
    dispatch({"M1|SATA1", "M2|SATA1|USB2"}, selected);

    QCOMPARE(offered, selected);
    QCOMPARE(answerer->seen().at(2).className, QStringLiteral("devicedialog"));
    if (chosen.isEmpty()) {
        QCOMPARE(answerer->last().title, QStringLiteral("Error"));
        QCOMPARE(answerer->last().text, QStringLiteral("Please select one Device!"));
        QVERIFY(!ScriptedPeer::waitUntil([&] { return !first->peer.received().isEmpty(); }, 100));
        QVERIFY(second->peer.received().isEmpty());
        return;
    }
    QCOMPARE(answerer->last().text,
             QStringLiteral("Restore image file %1 to %2 \nAre you sure?").arg(path, chosen));
    const QString media = QString(chosen).remove('*');
    QVERIFY(first->commands().value(0).endsWith(
        " image : " + M2Address + ":" + QString::number(console->transferPort) + " " + media));
    QVERIFY(second->commands().value(0).endsWith(":" + QString::number(console->transferPort) +
                                                 " : " + media));
    QCOMPARE(reader.received, image);
}

void TestTransfers::firmwareDispatch()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    QByteArray firmware(1000, Qt::Uninitialized);
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = char(i * 13 + 1);
    const QString path = writeImage(QStringLiteral("zr8nvmeupdate 2/fw.img"), firmware);
    const int streamBytes = ImageHead::Size + 2 * SStripInLogDiskMy::Size + 2 * SectorSize;
    DispatchReader reader(M1Address, console->transferPort, streamBytes);
    reader.startOnCommand(*machine);
    answerer->chooseFile(path);
    answerer->pressButton(QMessageBox::Yes);
    const int mark = console->mark();
    dispatch({"M1|SATA1*|SATA2"});

    QCOMPARE(answerer->seen().size(), 2);
    QCOMPARE(answerer->last().title, QStringLiteral("WARNING"));
    QCOMPARE(answerer->last().text,
             QStringLiteral("The file you select will be sent overall devices and force firmware "
                            "upgrading! Are you sure?"));
    QCOMPARE(machine->commands(),
             QStringList{
                 QStringLiteral("D %1 fw.img 2 image : : SATA1|SATA2").arg(console->transferPort)});
    QCOMPARE(reader.received.size(), streamBytes);
    const QByteArray data = reader.received.mid(ImageHead::Size + 2 * SStripInLogDiskMy::Size);
    QCOMPARE(data.left(1000), firmware);
    QCOMPARE(data.mid(1000), QByteArray(24, '\0'));
    const QString log = console->since(mark);
    QVERIFY2(log.contains("Writing firmware, size 1000 bytes, to client socket...\n"),
             qPrintable(log));
    QVERIFY(log.endsWith("Client is disconnected\n"));
    QVERIFY(!console->server->isBusy());
}

void TestTransfers::firmwareDeclined()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QString path = writeImage(QStringLiteral("k31update.bin"), QByteArray(10, 'x'));
    answerer->chooseFile(path);
    answerer->pressButton(QMessageBox::No);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});
    QCOMPARE(answerer->seen().size(), 2);
    QVERIFY(!ScriptedPeer::waitUntil([&] { return !machine->peer.received().isEmpty(); }, 100));
    QVERIFY(!console->since(mark).contains("Create server"));
}

void TestTransfers::firmwareMarkIsCaseSensitive()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QString path = writeImage(QStringLiteral("K31Update.img"),
                                    sampleImage().build(ImageBuilder::Rule::Dispatch));
    answerer->chooseFile(path);
    answerer->pressButtonText(QStringLiteral("Cancel"));
    dispatch({"M1|SATA1"});
    QCOMPARE(answerer->last().text, QStringLiteral("Writting Method"));
    QVERIFY(!ScriptedPeer::waitUntil([&] { return !machine->peer.received().isEmpty(); }, 100));
}

void TestTransfers::unusableImagesRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    const ImageBuilder image = sampleImage();
    ImageBuilder version1 = image;
    version1.version = 1;
    ImageBuilder noCapacity = image;
    noCapacity.entries.last().cn_sector = 0;
    ImageBuilder negative = image;
    negative.entries.last().cn_sector = -5;
    QTest::newRow("version 1") << version1.build(ImageBuilder::Rule::Dispatch);
    QTest::newRow("no end entry") << image.head() + E::run(0, 1).encoded() + E::run(1, 1).encoded();
    QTest::newRow("capacity 0") << noCapacity.build(ImageBuilder::Rule::Dispatch);
    QTest::newRow("negative capacity") << negative.build(ImageBuilder::Rule::Dispatch);
}

void TestTransfers::unusableImagesRefused()
{
    QFETCH(QByteArray, file);
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QString path = writeImage(QStringLiteral("bad.img"), file);
    answerDispatch(path, Restore);
    answerer->pressButton(QMessageBox::Ok);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});
    QCOMPARE(answerer->last().title, QStringLiteral("ERROR"));
    QCOMPARE(answerer->last().text, QStringLiteral("Fails analysing image file!"));
    QVERIFY(!ScriptedPeer::waitUntil([&] { return !machine->peer.received().isEmpty(); }, 100));
    QVERIFY(!console->since(mark).contains("Ask client"));
}

void TestTransfers::missingMachinesSkipped()
{
    Machine *first = addMachine(M1Address, QStringLiteral("M1"));
    Machine *unnamed = addMachine(M2Address);
    Machine *third = addMachine(M3Address, QStringLiteral("M3"));
    QVERIFY(first && unnamed && third);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("skip.img"), image);
    DispatchReader reader(M1Address, console->transferPort, image.size());
    reader.startOnCommand(*first);
    answerDispatch(path, Restore);
    const int mark = console->mark();
    dispatch({"M1|SATA1", "GONE|SATA1", "|SATA2", "M3|SATA2"});

    const QString log = console->since(mark);
    QVERIFY2(log.contains("Machine GONE is not connected, skipped!\n"), qPrintable(log));
    QVERIFY(log.contains("Machine  is not connected, skipped!\n"));
    const QString tp = QString::number(console->transferPort);
    QCOMPARE(first->commands(),
             QStringList{"D " + tp + " skip.img 20000 full : " + M3Address + ":" + tp + " SATA1"});
    QCOMPARE(third->commands(),
             QStringList{"D " + tp + " skip.img 20000 full " + M1Address + ":" + tp + " : SATA2"});
    QVERIFY(unnamed->peer.received().isEmpty());
    QCOMPARE(reader.received, image);
}

void TestTransfers::noMachineFound()
{
    Machine *unnamed = addMachine(M1Address);
    QVERIFY(unnamed);
    const QString path =
        writeImage(QStringLiteral("none.img"), sampleImage().build(ImageBuilder::Rule::Dispatch));
    answerDispatch(path, Restore);
    answerer->pressButton(QMessageBox::Ok);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);
    const int mark = console->mark();
    dispatch({"GONE|SATA1", "|SATA1"});

    QCOMPARE(answerer->last().title, QStringLiteral("Dispatch image"));
    QCOMPARE(answerer->last().text, failureText(path));
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith(failureText(path)), qPrintable(log));
    QVERIFY(!log.contains("Create server"));
    QVERIFY(unnamed->peer.received().isEmpty());
    QVERIFY(!console->server->isBusy());
}

void TestTransfers::machineLeavesDuringQuestions()
{
    Machine *first = addMachine(M1Address, QStringLiteral("M1"));
    Machine *second = addMachine(M2Address, QStringLiteral("M2"));
    QVERIFY(first && second);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("leave.img"), image);
    DispatchReader reader(M2Address, console->transferPort, image.size());
    reader.startOnCommand(*second);
    QPointer<Client> leaving(first->client());
    answerer->chooseFile(path);
    answerer->perform([&](QWidget *modal) {
        first->peer.abort();
        ScriptedPeer::waitUntil([&] { return !leaving; }, WaitMs);
        for (QAbstractButton *button : static_cast<QMessageBox *>(modal)->buttons())
            if (button->text() == QLatin1String(Restore))
                button->click();
    });
    answerer->pressButton(QMessageBox::Yes);
    dispatch({"M1|SATA1", "M2|SATA1"});

    QVERIFY(!leaving);
    QVERIFY(console->text().contains("Machine M1 is not connected, skipped!\n"));
    QCOMPARE(second->commands(),
             QStringList{
                 QStringLiteral("D %1 leave.img 20000 full : : SATA1").arg(console->transferPort)});
    QCOMPARE(reader.received, image);
}

void TestTransfers::strangerRefused()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("guarded.img"), image);
    // Another host connects first; the machine follows only once the stranger was sent away.
    DispatchReader stranger(StrangerAddress, console->transferPort, Never);
    DispatchReader reader(M1Address, console->transferPort, image.size());
    QObject::connect(&machine->peer, &ScriptedPeer::dataReceived, this, [&] { stranger.start(); });
    bool machineStarted = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!machineStarted && console->text().contains("Refused transfer connection from")) {
            machineStarted = true;
            reader.start();
        }
    });
    watch.start(RetryMs);
    answerDispatch(path, Restore);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    const QString log = console->since(mark);
    QVERIFY2(log.contains(QRegularExpression("Refused transfer connection from (::ffff:)?" +
                                             QRegularExpression::escape(StrangerAddress) + "\n")),
             qPrintable(log));
    QVERIFY(stranger.received.isEmpty());
    QCOMPARE(reader.received, image);
    QVERIFY(log.contains("Client ::ffff:" + M1Address + " is connected\n") ||
            log.contains("Client " + M1Address + " is connected\n"));
    QVERIFY(log.endsWith("Client is disconnected\n"));
}

void TestTransfers::stopWhileWaitingForMachine()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QString path =
        writeImage(QStringLiteral("wait.img"), sampleImage().build(ImageBuilder::Rule::Dispatch));
    bool busyWhileWaiting = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!busyWhileWaiting && console->text().contains("Create server for listen")) {
            busyWhileWaiting = console->server->isBusy();
            pressStop(console->server.get());
        }
    });
    watch.start(RetryMs);
    answerDispatch(path, Restore);
    answerer->pressButton(QMessageBox::Ok);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    QVERIFY(busyWhileWaiting);
    QCOMPARE(answerer->last().title, QStringLiteral("Dispatch image"));
    const QString log = console->since(mark);
    QVERIFY2(log.contains("Abort button is pressed!\n"), qPrintable(log));
    QVERIFY(log.contains("is terminated!\n" + failureText(path)));
    QVERIFY(!console->server->isBusy());
    QVERIFY(!console->server->stopRequested());
}

void TestTransfers::stopDuringDispatchData()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    ImageBuilder big = sampleImage();
    big.entries = {E::run(0, 8 * BlockSectors), E::end(0, 8 * BlockSectors)};
    const QByteArray image = big.build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("big.img"), image);
    DispatchReader reader(M1Address, console->transferPort, Never);
    reader.startOnCommand(*machine);
    const int tableEnd = big.head().size() + big.table().size();
    connect(console->server.get(), &Server::transferProgress, this, [&](qint64 done, qint64) {
        if (done == tableEnd + BUFFER_SIZE)
            pressStop(console->server.get());
    });
    answerDispatch(path, Restore);
    answerer->pressButton(QMessageBox::Ok);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    QCOMPARE(answerer->last().text, failureText(path));
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith("send image process is terminated!\n" + failureText(path)),
             qPrintable(log));
    QVERIFY(!console->server->isBusy());
    QVERIFY(!console->server->stopRequested());
    // Stopped after the block in which the stop came, long before the end.
    QTRY_VERIFY(reader.received.size() >= tableEnd + BUFFER_SIZE);
    QVERIFY(reader.received.size() < image.size());
    QCOMPARE(reader.received, image.left(reader.received.size()));
}

void TestTransfers::machineLeavesDuringDispatch()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("away.img"), image);
    DispatchReader reader(M1Address, console->transferPort, Never);
    reader.startOnCommand(*machine);
    QPointer<Client> client(machine->client());
    // The machine takes the head, then its command connection breaks.
    reader.onReceived = [&](int bytes) {
        if (bytes >= ImageHead::Size && machine->peer.isConnected())
            machine->peer.abort();
    };
    answerDispatch(path, Restore);
    answerer->pressButton(QMessageBox::Ok);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    QCOMPARE(answerer->last().text, failureText(path));
    const QString log = console->since(mark);
    QVERIFY2(log.contains("Server is been asking terminating!\n"), qPrintable(log));
    QVERIFY(log.endsWith(failureText(path)));
    QTRY_VERIFY(!client);
    QVERIFY(!console->server->isBusy());
    QVERIFY(!console->server->stopRequested());
}

void TestTransfers::staleStopDoesNotEndNextDispatch()
{
    Machine *machine = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(machine);
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    const QString path = writeImage(QStringLiteral("twice.img"), image);
    {
        // Stop is pressed just as the machine closes after the last byte: the stream sees the
        // connection closed before it looks at the stop, and succeeds.
        DispatchReader reader(M1Address, console->transferPort, image.size());
        reader.startOnCommand(*machine);
        reader.onReceived = [&](int bytes) {
            if (bytes == image.size())
                pressStop(console->server.get());
        };
        // Should the stop be seen first after all, this dispatch fails: its box is answered.
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->windowTitle() == QLatin1String("Dispatch image")) {
                answerer->pressButton(QMessageBox::Ok);
                watch.stop();
            }
        });
        answerDispatch(path, Restore);
        watch.start(RetryMs);
        dispatch({"M1|SATA1"});
        QCOMPARE(reader.received, image);
        QVERIFY(console->text().contains("Abort button is pressed!\n"));
        QVERIFY(!console->server->stopRequested());
        QVERIFY(!console->server->isBusy());
    }
    machine->peer.clearReceived();
    DispatchReader reader(M1Address, console->transferPort, image.size());
    reader.startOnCommand(*machine);
    answerDispatch(path, Restore);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});
    QCOMPARE(reader.received, image);
    QVERIFY2(console->since(mark).endsWith("Client is disconnected\n"),
             qPrintable(console->since(mark)));
}

TARN_TEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
