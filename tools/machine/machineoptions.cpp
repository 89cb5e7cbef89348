#include "machineoptions.h"

#include "image/imagefile.h"
#include "simoperation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 KiB = 1024;
constexpr int ExitUsage = 2;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "tarn-machine: %s\nTry --help.\n", qPrintable(message));
    std::exit(ExitUsage);
}

// "SECTORS" or a byte size with a binary K, M, G or T suffix.
qint64 parseCapacity(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)([KMGT]?)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return -1;
    bool ok = false;
    const qint64 number = m.captured(1).toLongLong(&ok);
    if (!ok)
        return -1;
    const QString suffix = m.captured(2).toUpper();
    if (suffix.isEmpty())
        return number;
    int shifts = QStringLiteral("KMGT").indexOf(suffix) + 1;
    qint64 bytes = number;
    while (shifts-- > 0) {
        if (bytes > std::numeric_limits<qint64>::max() / KiB)
            return -1;
        bytes *= KiB;
    }
    return bytes / SectorSize;
}

int intValue(const QCommandLineParser &parser, const QString &name, int min, int max)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min || value > max)
        fail(QStringLiteral("--%1 wants a whole number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

double realValue(const QCommandLineParser &parser, const QString &name, double min, double max)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < min || value > max)
        fail(QStringLiteral("--%1 wants a number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

} // namespace

MachineOptions MachineOptions::fromCommandLine(const QCoreApplication &app)
{
    MachineOptions o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated disk-duplicator machines for the TARN console.\n"
        "Each machine connects from its own source address (127.0.0.2, 127.0.0.3, ...) to the\n"
        "console's command port, names itself and its device ports, runs COPY, COMPARE, VERIFY,\n"
        "ERASE and RESIZE with progress and OK/NG results, answers file-list requests, sends\n"
        "brief and full images of its devices (listening on its own address at the transfer\n"
        "port when asked), and receives dispatched images and firmware into its store folder.\n"
        "Device content is a fixed function of machine name, port and sector."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("console"),
         QStringLiteral("Console address to connect to (default 127.0.0.1). Machines retry until "
                        "it is up and reconnect when it goes away."),
         QStringLiteral("address"), o.console.toString()},
        {QStringLiteral("port"),
         QStringLiteral("Console command port (default 53275); the transfer port is one more, the "
                        "announcement port two more."),
         QStringLiteral("port"), QString::number(o.port)},
        {QStringLiteral("count"), QStringLiteral("Number of machines in this process (default 3)."),
         QStringLiteral("n"), QString::number(o.count)},
        {QStringLiteral("name"),
         QStringLiteral("Machine name prefix; machines are named PREFIX-1, PREFIX-2, ... "
                        "(default SIM)."),
         QStringLiteral("prefix"), o.namePrefix},
        {QStringLiteral("address"),
         QStringLiteral("Own source address of the first machine; the next machines take the "
                        "following addresses (default 127.0.0.2). Loads are served there."),
         QStringLiteral("address"), o.firstAddress.toString()},
        {QStringLiteral("ports"),
         QStringLiteral("Device ports per machine, SATA1 to SATAn, SATA1 being the source "
                        "(default 4, at most 26)."),
         QStringLiteral("k"), QString::number(o.ports)},
        {QStringLiteral("devices"),
         QStringLiteral("Ports holding a device (default: all but one); the empty ports differ "
                        "from machine to machine, the source port is never empty."),
         QStringLiteral("n")},
        {QStringLiteral("capacity"),
         QStringLiteral("Device capacities, comma-separated, handed out in turn: sectors, or bytes "
                        "with a K, M, G or T suffix (default 128M,256M,192M)."),
         QStringLiteral("list"), QStringLiteral("128M,256M,192M")},
        {QStringLiteral("run-time"),
         QStringLiteral("Seconds a run takes from 0 to 100% (default 12)."),
         QStringLiteral("seconds"), QString::number(o.runSeconds)},
        {QStringLiteral("fail-rate"),
         QStringLiteral("Chance from 0 to 1 that a device fails a run with NG (default 0.1)."),
         QStringLiteral("rate"), QString::number(o.failRate)},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of the failures and speeds of runs (default 1)."),
         QStringLiteral("n"), QString::number(o.seed)},
        {QStringLiteral("store"),
         QStringLiteral("Folder of the machines' image files, one sub-folder per machine "
                        "(default ./machine-store)."),
         QStringLiteral("dir"), o.storeDir},
        {QStringLiteral("sample-image"),
         QStringLiteral("Put a brief image of the source device into each machine's store when "
                        "the store holds no file.")},
        {QStringLiteral("listen-announce"),
         QStringLiteral("Listen for the console's announcement on UDP port + 2 and connect to the "
                        "address it carries (for real networks).")},
        {QStringLiteral("auto-run"),
         QStringLiteral("Start one run of this operation on every machine once it is connected, "
                        "as its own operator would: copy, compare, verify, erase or resize."),
         QStringLiteral("operation")},
        {QStringLiteral("watch-pid"),
         QStringLiteral("End when the process with this id has ended, e.g. the console that a "
                        "demo started with the machines."),
         QStringLiteral("pid")},
    });
    parser.process(app);

    if (!o.console.setAddress(parser.value(QStringLiteral("console"))))
        fail(QStringLiteral("--console wants an IP address"));
    o.port = static_cast<quint16>(intValue(parser, QStringLiteral("port"), 1, 65533));
    o.count = intValue(parser, QStringLiteral("count"), 1, MaxCount);
    o.namePrefix = parser.value(QStringLiteral("name"));
    static const QRegularExpression badName(QStringLiteral("[|/\\\\\\s\\x00-\\x1f]"));
    if (o.namePrefix.isEmpty() || o.namePrefix.contains(badName))
        fail(QStringLiteral("--name wants a prefix without spaces, '|', '/' or '\\'"));
    if (!o.firstAddress.setAddress(parser.value(QStringLiteral("address"))) ||
        o.firstAddress.protocol() != QAbstractSocket::IPv4Protocol)
        fail(QStringLiteral("--address wants an IPv4 address"));
    if (o.firstAddress.toIPv4Address() + static_cast<quint32>(o.count - 1) <
        o.firstAddress.toIPv4Address())
        fail(QStringLiteral("--address leaves no room for --count machines"));
    o.ports = intValue(parser, QStringLiteral("ports"), 1, MaxPorts);
    o.devices = parser.isSet(QStringLiteral("devices"))
                    ? intValue(parser, QStringLiteral("devices"), 1, o.ports)
                    : qMax(1, o.ports - 1);
    for (const QString &item : parser.value(QStringLiteral("capacity")).split(QLatin1Char(','))) {
        const qint64 sectors = parseCapacity(item);
        if (sectors <= 0)
            fail(QStringLiteral("--capacity: '%1' is not a size of at least one sector").arg(item));
        o.capacities.append(sectors);
    }
    constexpr double LongestRunSeconds = 86400;
    o.runSeconds = realValue(parser, QStringLiteral("run-time"), 0.05, LongestRunSeconds);
    o.failRate = realValue(parser, QStringLiteral("fail-rate"), 0, 1);
    bool seedOk = false;
    o.seed = parser.value(QStringLiteral("seed")).toUInt(&seedOk);
    if (!seedOk)
        fail(QStringLiteral("--seed wants a whole number"));
    o.storeDir = parser.value(QStringLiteral("store"));
    o.sampleImage = parser.isSet(QStringLiteral("sample-image"));
    o.listenAnnounce = parser.isSet(QStringLiteral("listen-announce"));
    if (parser.isSet(QStringLiteral("auto-run"))) {
        const SimOperation *op = SimOperation::fromOption(parser.value(QStringLiteral("auto-run")));
        if (!op)
            fail(QStringLiteral("--auto-run wants copy, compare, verify, erase or resize"));
        o.autoRun = op->letter;
    }
    if (parser.isSet(QStringLiteral("watch-pid"))) {
        bool pidOk = false;
        o.watchPid = parser.value(QStringLiteral("watch-pid")).toLongLong(&pidOk);
        if (!pidOk || o.watchPid <= 0)
            fail(QStringLiteral("--watch-pid wants a process id"));
    }
    return o;
}
