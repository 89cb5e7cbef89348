#include <QtTest>

#include <QCryptographicHash>
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
#include "image/sidecar.h"
#include "transfer/dispatchcommand.h"
#include "server/server.h"
#include "transfer/transferlimits.h"
#include "testkit/imagebuilder.h"
#include "testkit/modalanswerer.h"
#include "testkit/scriptedpeer.h"
#include "testkit/loopbackport.h"
#include "testkit/testenv.h"

#include <functional>
#include <memory>

using E = SStripInLogDiskMy;

namespace {
const QHostAddress ConsoleAddress(QStringLiteral("127.0.0.1"));
const QString M1Address = QStringLiteral("127.0.0.2");
const QString M2Address = QStringLiteral("127.0.0.3");
const QString M3Address = QStringLiteral("127.0.0.4");
const QString M4Address = QStringLiteral("127.0.0.5");
const QString M5Address = QStringLiteral("127.0.0.6");
const QString StrangerAddress = QStringLiteral("127.0.0.9");
constexpr int WaitMs = 10000;
constexpr int RetryMs = 20;
// Time limits at 5%: a minute of waiting for a machine becomes 3 s.
constexpr int TestMsPerSecond = 50;
constexpr qint64 Never = -1;
const char *const Restore = "Restore";
const char *const RestoreToImage = "Restore to Image";
const char *const FirmwareWarning = "The file you select will be sent overall devices and force "
                                    "firmware upgrading! Are you sure?";

enum Field
{
    AnnouncedName,
    Media,
    Firmware,
    Sectors
};

enum LoadEnd
{
    StopPressed,
    LeavesInSaveDialog,
    ConnectionCloses,
    // As when the object goes in an event loop that runs before the load looks at its stop.
    ObjectDeleted
};

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

    bool connect(QString name)
    {
        if (!peer.connectTo(ConsoleAddress, static_cast<quint16>(para.tcpport),
                            QHostAddress(address)) ||
            !ScriptedPeer::waitUntil([this] { return client(); }, WaitMs))
            return false;
        if (!name.isEmpty())
            peer.sendLine(QStringLiteral("&M %1|Model|Vendor|1.0|2|SATA1|SATA2|END").arg(name));
        return name.isEmpty() ||
               ScriptedPeer::waitUntil([&] { return console.server->findClientWithName(name); },
                                       WaitMs);
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
    // Connects as soon as the machine has its dispatch command.
    DispatchReader(Machine &machine, qint64 closeAt)
        : DispatchReader(machine.address, machine.console.transferPort, closeAt)
    {
        QObject::connect(&machine.peer, &ScriptedPeer::dataReceived, this, [this, &machine] {
            if (!started && !machine.commands().isEmpty()) {
                started = true;
                start();
            }
        });
    }
    void start()
    {
        socket.abort();
        socket.bind(QHostAddress(from));
        socket.connectToHost(ConsoleAddress, port);
    }

    QByteArray received;
    std::function<void(int)> onReceived;

private:
    QTcpSocket socket;
    bool wasConnected = false;
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

void clickButtonText(QWidget *modal, const QString &text)
{
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>())
        if (button->text() == text)
            return button->click();
}

QByteArray sidecarOf(const QByteArray &bytes, const char *name)
{
    return Sidecar::line(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(), name);
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

    void commandFields_data();
    void commandFields();
    void commandLine();

    void loadStoresStream_data();
    void loadStoresStream();
    void loadInterrupted_data();
    void loadInterrupted();

    void dispatchToOneMachineAfterStranger();
    void dispatchChainsOverMachinesFound();
    void severalSelectedDevices_data();
    void severalSelectedDevices();
    void firmwareDispatch();
    void dispatchRefused_data();
    void dispatchRefused();
    void dispatchInterrupted_data();
    void dispatchInterrupted();
    void staleStopDoesNotEndNextDispatch();
    void stopDuringSidecarCheck();

private:
    Machine *addMachine(const QString &address, const QString &name = QString());
    QString writeImage(const QString &name, const QByteArray &bytes);
    // Chooses the file, then answers the boxes in turn: standard buttons by name, others by label.
    void answerDispatch(const QString &path, const QStringList &answers = {Restore, "Yes"});
    void dispatch(QStringList attend, const QStringList &selected = QStringList())
    {
        console->server->sendImageToClients(attend, selected);
    }

    std::unique_ptr<ConsoleRig> console;
    QList<Machine *> machines;
    Machine *m1 = nullptr; // named "M1", there for every test
    std::unique_ptr<ModalAnswerer> answerer;
    QTemporaryDir dir;
    const QByteArray image = sampleImage().build(ImageBuilder::Rule::Dispatch);
    QString imagePath; // holds image
};

void TestTransfers::initTestCase()
{
    Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
    QVERIFY(dir.isValid());
    imagePath = writeImage(QStringLiteral("sample.img"), image);
    QVERIFY(!imagePath.isEmpty());
    // Dispatches of it go through the check and pass; other files have no sidecar.
    QVERIFY(
        !writeImage(QStringLiteral("sample.img.sha256"), sidecarOf(image, "sample.img")).isEmpty());
}

void TestTransfers::init()
{
    TransferLimits::setMsPerSecond(TestMsPerSecond);
    para.translate = 0;
    console = std::make_unique<ConsoleRig>();
    QVERIFY(console->start());
    answerer = std::make_unique<ModalAnswerer>();
    m1 = addMachine(M1Address, QStringLiteral("M1"));
    QVERIFY(m1);
}

void TestTransfers::cleanup()
{
    QCOMPARE(answerer->pending(), 0);
    answerer.reset();
    qDeleteAll(machines);
    machines.clear();
    QVERIFY(!console->server->isBusy());
    QVERIFY(!console->server->stopRequested());
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
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

void TestTransfers::answerDispatch(const QString &path, const QStringList &answers)
{
    static const QMap<QString, QMessageBox::StandardButton> standard = {
        {"Yes", QMessageBox::Yes}, {"No", QMessageBox::No}, {"OK", QMessageBox::Ok}};
    answerer->chooseFile(path);
    for (const QString &answer : answers) {
        if (standard.contains(answer))
            answerer->pressButton(standard.value(answer));
        else
            answerer->pressButtonText(answer);
    }
}

// --- the dispatch command -------------------------------------------------------------------

void TestTransfers::commandFields_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, Field field, const char *input, const char *expected) {
        QTest::newRow(name) << int(field) << QString(input) << QString(expected);
    };
    row("name: spaces in folder and name", AnnouncedName, "/home/op/Disk Images/My Image 01.img",
        "MyImage01.img");
    row("name: no folder", AnnouncedName, "x y.img", "xy.img");
    row("media: source mark dropped", Media, "M1|SATA1*|SATA2", "SATA1|SATA2");
    row("media: machine only", Media, "M1", "");
    row("media: empty device list", Media, "M1|", "");
    row("media: every mark", Media, "M1|*U*SB*", "USB");
    row("firmware: mark in name", Firmware, "/fw/k31update_v2.img", "1");
    row("firmware: mark in folder", Firmware, "/fw/zr8sataupdate-3/image.img", "1");
    row("firmware: nvme", Firmware, "/a/zr8nvmeupdate.img", "1");
    row("firmware: usb inside a word", Firmware, "/a/xzr8usbupdatex.img", "1");
    row("firmware: other letter case", Firmware, "/fw/K31Update_v2.img", "0");
    row("firmware: usb upper case", Firmware, "/fw/ZR8USBUPDATE.img", "0");
    row("firmware: plain image", Firmware, "/img/backup.img", "0");
    row("sectors: empty", Sectors, "0", "0");
    row("sectors: 1000 bytes", Sectors, "1000", "2");
    row("sectors: one block", Sectors, "1048576", "2048");
    row("sectors: one byte more", Sectors, "1048577", "2049");
}

void TestTransfers::commandFields()
{
    QFETCH(int, field);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const QString actual = field == AnnouncedName ? DispatchCommand::announcedName(input)
                           : field == Media       ? DispatchCommand::mediaOf(input)
                           : field == Firmware
                               ? QString::number(DispatchCommand::isFirmwarePath(input))
                               : QString::number(DispatchCommand::sectorsOf(input.toLongLong()));
    QCOMPARE(actual, expected);
}

void TestTransfers::commandLine()
{
    DispatchCommand command;
    command.port = 53276;
    command.fileName = QStringLiteral("a%1b.img");
    command.capacity = Q_INT64_C(8589934592);
    command.method = DispatchCommand::MethodFull;
    command.media = QStringLiteral("SATA1|SATA2");
    command.previous = DispatchCommand::neighbour(QStringLiteral("10.0.0.7"), 53276);
    QCOMPARE(command.line(),
             QStringLiteral("D 53276 a%1b.img 8589934592 full 10.0.0.7:53276 : SATA1|SATA2\n"));
}

// --- loads from a machine ---------------------------------------------------------------------

void TestTransfers::loadStoresStream_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("isFull");
    QTest::addColumn<QString>("chosen"); // empty: the save dialog is cancelled
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("lastLine");
    const auto row = [](const char *name, bool upload, bool isFull, const char *chosen,
                        const char *stored, const char *command, const char *lastLine) {
        QTest::newRow(name) << upload << isFull << QString(chosen) << QString(stored)
                            << QString(command) << QString(lastLine);
    };
    row("brief, .img added", false, false, "backup", "backup.img", "C SATA1 %1 0",
        "load image has succeed");
    row("full, suffix is case-sensitive", false, true, "backup.IMG", "backup.IMG.img",
        "C SATA1 %1 1", "load image has succeed");
    row("upload keeps the chosen name", true, false, "copy", "copy", "C SATA1 %1 0 1 stored 1.img",
        "load image file has succeed");
    row("load cancelled", false, false, "", "", "", "");
    row("upload cancelled", true, false, "", "", "", "");
}

void TestTransfers::loadStoresStream()
{
    QFETCH(bool, upload);
    QFETCH(bool, isFull);
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QFETCH(QString, command);
    QFETCH(QString, lastLine);
    const QByteArray stream = sampleImage().build(ImageBuilder::Rule::Load);
    LoadSender sender(stream);
    QVERIFY(sender.listen(M1Address, console->transferPort));
    QSignalSpy progress(console->server.get(), &Server::transferProgress);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);

    QString directory;
    QStringList filters;
    bool hasParent = true;
    bool busyInDialog = true;
    answerer->perform([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return modal->close(), void(); // not the widget expected: the checks below tell
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        hasParent = dialog->parentWidget() != nullptr;
        busyInDialog = Client::isBusy();
        if (chosen.isEmpty())
            static_cast<QDialog *>(dialog)->reject();
        else
            typeFileName(dialog, dir.filePath(chosen));
    });
    const int mark = console->mark();
    if (upload)
        m1->client()->sendImageFileToServer(QStringLiteral("SATA1*"),
                                            QStringLiteral("stored 1.img"));
    else
        m1->client()->sendImageToServer(QStringLiteral("SATA1*"), isFull);

    QCOMPARE(answerer->last().title, QStringLiteral("Choose save file name"));
    QCOMPARE(directory, QStringLiteral("/"));
    QCOMPARE(filters, QStringList{"Images (*.img)"});
    QVERIFY(!hasParent);
    QVERIFY(!busyInDialog);
    QVERIFY(!Client::isBusy());
    if (chosen.isEmpty()) {
        QCOMPARE(console->since(mark), QString());
        QVERIFY(!ScriptedPeer::waitUntil([&] { return !m1->peer.received().isEmpty(); }, 100));
        QCOMPARE(sender.connections, 0);
        return;
    }
    QCOMPARE(m1->peer.receivedLines(),
             QList<QByteArray>{command.arg(console->transferPort).toUtf8()});
    QCOMPARE(sender.connections, 1);
    QVERIFY(sender.busyWhenConnected);
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
    QCOMPARE(progress.last(), QVariantList({qint64(stream.size()), qint64(stream.size())}));
    QCOMPARE(finished.count(), 1);
}

void TestTransfers::loadInterrupted_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Stop pressed") << int(StopPressed);
    QTest::newRow("machine leaves during the save dialog") << int(LeavesInSaveDialog);
    QTest::newRow("machine's connection closes") << int(ConnectionCloses);
    QTest::newRow("machine's object deleted under the load") << int(ObjectDeleted);
}

void TestTransfers::loadInterrupted()
{
    QFETCH(int, how);
    const ImageBuilder sample = sampleImage();
    const QByteArray stream = sample.build(ImageBuilder::Rule::Load);
    // Head, table, the first two runs and a part of the third, then the machine holds on.
    const int firstRuns = sample.head().size() + sample.table().size() + (3 + 2049) * SectorSize;
    LoadSender sender(stream, firstRuns + 1000, false);
    QVERIFY(sender.listen(M1Address, console->transferPort));
    QPointer<Client> client(m1->client());
    const QString target = dir.filePath(QStringLiteral("ended-%1.img").arg(how));
    if (how == LeavesInSaveDialog) {
        answerer->perform([&](QWidget *modal) {
            m1->peer.abort();
            ScriptedPeer::waitUntil([&] { return !client; }, WaitMs);
            typeFileName(static_cast<QFileDialog *>(modal), target);
        });
    } else {
        answerer->chooseFile(target);
    }
    bool interrupted = false;
    connect(console->server.get(), &Server::transferProgress, this, [&](qint64 done, qint64) {
        if (done != firstRuns || interrupted)
            return;
        interrupted = true;
        if (how == StopPressed)
            return pressStop(console->server.get());
        m1->peer.abort();
        if (how == ObjectDeleted)
            delete client.data();
    });
    QSignalSpy finished(console->server.get(), &Server::transferFinished);
    const int mark = console->mark();
    client->sendImageToServer(QStringLiteral("SATA1"), false);

    QVERIFY(!Client::isBusy());
    const QString log = console->since(mark);
    QVERIFY2(log.endsWith("is terminated!\nload image has failed!\n"), qPrintable(log));
    if (how == LeavesInSaveDialog) {
        QVERIFY(!client);
        QCOMPARE(sender.connections, 0);
        QVERIFY(!QFile::exists(target));
        return;
    }
    QVERIFY(interrupted);
    // What was stored stays, whole blocks only.
    QCOMPARE(fileBytes(target), stream.left(firstRuns));
    QCOMPARE(finished.count(), how == ObjectDeleted ? 0 : 1);
    if (how != StopPressed) {
        QTRY_VERIFY(!client);
        return;
    }
    QVERIFY(!client->stopRequested());
    QVERIFY(log.contains(QStringLiteral("Client %1 is being asked stop!\n").arg(M1Address)));
    QVERIFY(m1->peer.waitForReceived(m1->peer.received().indexOf('\n') + 3));
    QVERIFY(m1->peer.received().endsWith("t\n"));
}

// --- dispatches to machines -------------------------------------------------------------------

void TestTransfers::dispatchToOneMachineAfterStranger()
{
    const QString path = writeImage(QStringLiteral("Disk Images/My Image 01.img"), image);
    QVERIFY(!path.isEmpty());
    // Another host connects first; the machine follows only once the stranger was sent away.
    DispatchReader stranger(StrangerAddress, console->transferPort, Never);
    DispatchReader reader(M1Address, console->transferPort, image.size());
    QObject::connect(&m1->peer, &ScriptedPeer::dataReceived, this, [&] { stranger.start(); });
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (console->text().contains("Refused transfer connection from")) {
            watch.stop();
            reader.start();
        }
    });
    watch.start(RetryMs);
    QSignalSpy progress(console->server.get(), &Server::transferProgress);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);

    QString directory, defaultButton;
    QStringList filters;
    answerer->perform([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return modal->close(), void(); // not the widget expected: the checks below tell
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        typeFileName(dialog, path);
    });
    answerer->perform([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            defaultButton = box->defaultButton()->text();
        clickButtonText(modal, QString::fromLatin1(Restore));
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
    QCOMPARE(seen.at(1).buttons, QStringList({RestoreToImage, Restore, "Cancel"}));
    QCOMPARE(defaultButton, QStringLiteral("Cancel"));
    QCOMPARE(seen.at(2).title, QStringLiteral("WARNING"));
    QCOMPARE(seen.at(2).text,
             QStringLiteral("Restore from %1 to \nM1|SATA1*|SATA2\n Are you sure?").arg(path));
    QVERIFY(!busyInQuestion);

    const QString command =
        QStringLiteral("D %1 MyImage01.img 20000 full : : SATA1|SATA2").arg(console->transferPort);
    QCOMPARE(m1->commands(), QStringList{command});
    QCOMPARE(reader.received, image);
    const QString log = console->since(mark);
    QVERIFY2(log.startsWith("Attend devices is M1|SATA1*|SATA2 \n"), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Ask client %1 for sending file MyImage01.img,capacity "
                                        "20000, method full\nCommand is: %2\n")
                             .arg(M1Address, command)));
    QVERIFY(log.contains("image checksum is 0xc0ffee\n"));
    const auto peer = [](const QString &address) {
        return "(::ffff:)?" + QRegularExpression::escape(address);
    };
    QVERIFY2(log.contains(QRegularExpression("Refused transfer connection from " +
                                             peer(StrangerAddress) + "\n")),
             qPrintable(log));
    QVERIFY(log.contains(QRegularExpression("Client " + peer(M1Address) + " is connected\n")));
    QVERIFY(stranger.received.isEmpty());
    QVERIFY2(log.endsWith("Client is disconnected\n"), qPrintable(log));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), QVariantList({qint64(image.size()), qint64(image.size())}));
    QCOMPARE(finished.count(), 1);
}

void TestTransfers::dispatchChainsOverMachinesFound()
{
    // M1 leaves while the method box is open, M2 never names itself, GONE never came.
    Machine *unnamed = addMachine(M2Address);
    Machine *first = addMachine(M3Address, QStringLiteral("M3"));
    Machine *middle = addMachine(M4Address, QStringLiteral("M4"));
    Machine *last = addMachine(M5Address, QStringLiteral("M5"));
    QVERIFY(unnamed && first && middle && last);
    DispatchReader reader(*first, image.size());
    QPointer<Client> gone(m1->client());
    answerer->chooseFile(imagePath);
    answerer->perform([&](QWidget *modal) {
        m1->peer.abort();
        ScriptedPeer::waitUntil([&] { return !gone; }, WaitMs);
        clickButtonText(modal, QString::fromLatin1(RestoreToImage));
    });
    answerer->pressButton(QMessageBox::Yes);
    const int mark = console->mark();
    dispatch({"M1|SATA1", "M3|SATA1*", "GONE|SATA1", "M4|SATA2", "|SATA2", "M5|SATA1|SATA2"},
             {"SATA1*"});

    QVERIFY(!gone);
    // One selected device names the confirmation; each machine still gets its own media.
    QCOMPARE(answerer->last().text,
             QStringLiteral("Restore image file %1 to SATA1* \nAre you sure?").arg(imagePath));
    const QString log = console->since(mark);
    for (const char *name : {"M1", "GONE", ""})
        QVERIFY2(log.contains(QStringLiteral("Machine %1 is not connected, skipped!\n").arg(name)),
                 qPrintable(log));
    const QString tp = QString::number(console->transferPort);
    const QString line = "D " + tp + " sample.img 20000 image %1 %2 %3";
    QCOMPARE(first->commands(), QStringList{line.arg(":", M4Address + ":" + tp, "SATA1")});
    QCOMPARE(middle->commands(),
             QStringList{line.arg(M3Address + ":" + tp, M5Address + ":" + tp, "SATA2")});
    QCOMPARE(last->commands(), QStringList{line.arg(M4Address + ":" + tp, ":", "SATA1|SATA2")});
    QVERIFY(unnamed->peer.received().isEmpty());
    // The head of the chain takes the stream; it comes byte for byte as the file holds it.
    QCOMPARE(reader.received, image);
    QVERIFY(log.endsWith("Client is disconnected\n"));
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
    Machine *second = addMachine(M2Address, QStringLiteral("M2"));
    QVERIFY(second);
    DispatchReader reader(*m1, image.size());
    answerDispatch(imagePath, {RestoreToImage});
    QStringList offered;
    answerer->perform([&](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>();
        if (!list)
            return dialog->close(), void();
        for (int row = 0; row < list->model()->rowCount(); ++row)
            offered << list->model()->index(row, 0).data().toString();
        if (!accept)
            return static_cast<QDialog *>(dialog)->reject();
        list->setCurrentIndex(list->model()->index(1, 0));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    answerer->pressButton(chosen.isEmpty() ? QMessageBox::Ok : QMessageBox::Yes);
    dispatch({"M1|SATA1", "M2|SATA1|USB2"}, selected);

    QCOMPARE(offered, selected);
    QCOMPARE(answerer->seen().at(2).className, QStringLiteral("devicedialog"));
    if (chosen.isEmpty()) {
        QCOMPARE(answerer->last().title, QStringLiteral("Error"));
        QCOMPARE(answerer->last().text, QStringLiteral("Please select one Device!"));
        QVERIFY(!ScriptedPeer::waitUntil([&] { return !m1->peer.received().isEmpty(); }, 100));
        QVERIFY(second->peer.received().isEmpty());
        return;
    }
    QCOMPARE(answerer->last().text,
             QStringLiteral("Restore image file %1 to %2 \nAre you sure?").arg(imagePath, chosen));
    const QString media = QString(chosen).remove('*');
    const QString tp = QString::number(console->transferPort);
    QVERIFY(m1->commands().value(0).endsWith(" image : " + M2Address + ":" + tp + " " + media));
    QVERIFY(second->commands().value(0).endsWith(":" + tp + " : " + media));
    QCOMPARE(reader.received, image);
}

void TestTransfers::firmwareDispatch()
{
    QByteArray firmware(1000, Qt::Uninitialized);
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = char(i * 13 + 1);
    const QString path = writeImage(QStringLiteral("zr8nvmeupdate 2/fw.img"), firmware);
    const int streamBytes = ImageHead::Size + 2 * SStripInLogDiskMy::Size + 2 * SectorSize;
    DispatchReader reader(*m1, streamBytes);
    answerDispatch(path, {"Yes"});
    const int mark = console->mark();
    dispatch({"M1|SATA1*|SATA2"});

    QCOMPARE(answerer->seen().size(), 2);
    QCOMPARE(answerer->last().title, QStringLiteral("WARNING"));
    QCOMPARE(answerer->last().text, QString::fromLatin1(FirmwareWarning));
    QCOMPARE(m1->commands(),
             QStringList{
                 QStringLiteral("D %1 fw.img 2 image : : SATA1|SATA2").arg(console->transferPort)});
    QCOMPARE(reader.received.size(), streamBytes);
    const QByteArray data = reader.received.mid(ImageHead::Size + 2 * SStripInLogDiskMy::Size);
    QCOMPARE(data, firmware + QByteArray(24, '\0'));
    const QString log = console->since(mark);
    QVERIFY2(log.contains("Writing firmware, size 1000 bytes, to client socket...\n"),
             qPrintable(log));
    QVERIFY(log.endsWith("Client is disconnected\n"));
}

void TestTransfers::dispatchRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("attend");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");       // %1: the file's path
    QTest::addColumn<QByteArray>("sidecar"); // null: none
    ImageBuilder version1 = sampleImage();
    version1.version = 1;
    ImageBuilder noCapacity = sampleImage();
    noCapacity.entries.last().cn_sector = 0;
    ImageBuilder negative = sampleImage();
    negative.entries.last().cn_sector = -5;
    const auto row = [](const char *name, const char *file, const QByteArray &bytes,
                        const QStringList &attend, const QStringList &answers, const char *title,
                        const QString &text, const QByteArray &sidecar = QByteArray()) {
        QTest::newRow(name) << QString(file) << bytes << attend << answers << QString(title) << text
                            << sidecar;
    };
    const QStringList m1 = {"M1|SATA1"};
    const QStringList all = {Restore, "Yes", "OK"};
    const QString analysis = QStringLiteral("Fails analysing image file!");
    const auto rule = ImageBuilder::Rule::Dispatch;
    row("firmware declined", "k31update.bin", "x", m1, {"No"}, "WARNING", FirmwareWarning);
    row("firmware mark is case-sensitive", "K31Update.img", image, m1, {"Cancel"}, "",
        "Writting Method");
    row("version 1", "v1.img", version1.build(rule), m1, all, "ERROR", analysis);
    row("no end entry", "noend.img",
        sampleImage().head() + E::run(0, 1).encoded() + E::run(1, 1).encoded(), m1, all, "ERROR",
        analysis);
    row("capacity 0", "cap0.img", noCapacity.build(rule), m1, all, "ERROR", analysis);
    row("negative capacity", "neg.img", negative.build(rule), m1, all, "ERROR", analysis);
    // The unnamed machine answers to no entry, not even to an empty name.
    row("no machine found", "none.img", image, {"GONE|SATA1", "|SATA1"}, all, "Dispatch image",
        failureText("%1"));
    QByteArray changed = image;
    changed[ImageHead::Size + 2 * E::Size] = char(changed[ImageHead::Size + 2 * E::Size] ^ 1);
    const QString unreadable("The checksum file %1.sha256 cannot be read, or names another file "
                             "than %2.\nNothing was dispatched.");
    row("one byte changed since its sidecar", "changed.img", changed, m1, all, "Error",
        "The image file %1 does not match its checksum file: it was changed or damaged after the "
        "checksum was written.\nNothing was dispatched.",
        sidecarOf(image, "changed.img"));
    row("garbled sidecar", "garbled.img", image, m1, all, "Error",
        QString(unreadable).replace("%2", "garbled.img"),
        sidecarOf(image, "garbled.img").replace(' ', '\t'));
    row("sidecar of another file", "renamed.img", image, m1, all, "Error",
        QString(unreadable).replace("%2", "renamed.img"), sidecarOf(image, "sample.img"));
}

void TestTransfers::dispatchRefused()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, attend);
    QFETCH(QStringList, answers);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QByteArray, sidecar);
    Machine *unnamed = addMachine(M2Address);
    QVERIFY(unnamed);
    const QString path = writeImage(file, bytes);
    QVERIFY(sidecar.isNull() || !writeImage(file + ".sha256", sidecar).isEmpty());
    answerDispatch(path, answers);
    const int mark = console->mark();
    dispatch(attend);

    QCOMPARE(answerer->last().title, title);
    QCOMPARE(answerer->last().text, text.replace("%1", path));
    QVERIFY(!ScriptedPeer::waitUntil(
        [&] { return !m1->peer.received().isEmpty() || !unnamed->peer.received().isEmpty(); },
        100));
    const QString log = console->since(mark);
    QVERIFY2(!log.contains("Ask client") && !log.contains("Create server"), qPrintable(log));
    if (title == QLatin1String("Dispatch image"))
        QVERIFY2(log.endsWith(text), qPrintable(log));
    if (sidecar.isNull())
        return;
    // The log names the file and, on a mismatch, what it holds and what its sidecar states.
    QVERIFY2(log.contains(path) && log.endsWith("Dispatch refused!\n"), qPrintable(log));
    if (text.contains("does not match"))
        QVERIFY(log.contains(sidecarOf(bytes, "").left(64)) && log.contains(sidecar.left(64)));
}

void TestTransfers::dispatchInterrupted_data()
{
    QTest::addColumn<bool>("machineLeaves");
    QTest::addColumn<QStringList>("lines"); // %1: the file's path
    QTest::newRow("Stop while waiting for the machine")
        << false
        << QStringList{"Abort button is pressed!\n", "is terminated!\n" + failureText("%1")};
    QTest::newRow("machine leaves") << true << QStringList{"Server is been asking terminating!\n"};
}

void TestTransfers::dispatchInterrupted()
{
    QFETCH(bool, machineLeaves);
    QFETCH(QStringList, lines);
    QPointer<Client> client(m1->client());
    DispatchReader reader(M1Address, console->transferPort, Never);
    bool busyWhileWaiting = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!busyWhileWaiting && console->text().contains("Create server for listen")) {
            busyWhileWaiting = console->server->isBusy();
            if (!machineLeaves)
                pressStop(console->server.get());
            else
                reader.start();
        }
    });
    watch.start(RetryMs);
    // The machine takes the head, then its command connection breaks.
    reader.onReceived = [&](int bytes) {
        if (machineLeaves && bytes >= ImageHead::Size && m1->peer.isConnected())
            m1->peer.abort();
    };
    answerDispatch(imagePath, {Restore, "Yes", "OK"});
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    QVERIFY(busyWhileWaiting);
    QCOMPARE(answerer->last().title, QStringLiteral("Dispatch image"));
    QCOMPARE(answerer->last().text, failureText(imagePath));
    const QString log = console->since(mark);
    for (const QString &line : lines)
        QVERIFY2(log.contains(QString(line).replace("%1", imagePath)), qPrintable(log));
    QVERIFY2(log.endsWith(failureText(imagePath)), qPrintable(log));
    QTRY_VERIFY(!machineLeaves || !client);
    QCOMPARE(reader.received, image.left(reader.received.size()));
}

void TestTransfers::staleStopDoesNotEndNextDispatch()
{
    {
        // Stop is pressed just as the machine closes after the last byte: the stream sees the
        // connection closed before it looks at the stop, and succeeds.
        DispatchReader reader(*m1, image.size());
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
        answerDispatch(imagePath);
        watch.start(RetryMs);
        dispatch({"M1|SATA1"});
        QCOMPARE(reader.received, image);
        QVERIFY(console->text().contains("Abort button is pressed!\n"));
        QVERIFY(!console->server->stopRequested());
    }
    m1->peer.clearReceived();
    DispatchReader reader(*m1, image.size());
    answerDispatch(imagePath);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});
    QCOMPARE(reader.received, image);
    QVERIFY2(console->since(mark).endsWith("Client is disconnected\n"),
             qPrintable(console->since(mark)));
}

// Stop while the sidecar check reads: nothing is dispatched and no box follows the questions.
void TestTransfers::stopDuringSidecarCheck()
{
    QSignalSpy progress(console->server.get(), &Server::transferProgress);
    QSignalSpy finished(console->server.get(), &Server::transferFinished);
    bool busyInCheck = false;
    connect(console->server.get(), &Server::transferProgress, this, [&] {
        if (progress.count() == 1) {
            busyInCheck = console->server->isBusy();
            pressStop(console->server.get());
        }
    });
    answerDispatch(imagePath);
    const int mark = console->mark();
    dispatch({"M1|SATA1"});

    QVERIFY(busyInCheck);
    QCOMPARE(answerer->seen().size(), 3);
    QVERIFY(progress.count() < 3); // the whole file is three pieces of the check's read
    QCOMPARE(finished.count(), 1);
    QVERIFY(!ScriptedPeer::waitUntil([&] { return !m1->commands().isEmpty(); }, 100));
    QVERIFY2(console->since(mark).endsWith("Checksum check of " + imagePath +
                                           " is stopped. Nothing was dispatched.\n"),
             qPrintable(console->since(mark)));
}

TARN_TEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
