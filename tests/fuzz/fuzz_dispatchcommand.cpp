#include "fuzzcheck.h"
#include "image/imagefile.h"
#include "tools/machine/dispatchorder.h"
#include "transfer/dispatchcommand.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <limits>

// The dispatch command built from any chosen file and attending devices is one line that a
// machine reads back field by field; any line at all is safe for the simulated machine to read.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    FuzzedDataProvider input(data, size);
    // Neither holds NUL (read up to it); the tree's device names never hold a line feed.
    const QString path = QString::fromUtf8(fuzzBytes(input.ConsumeRandomLengthString()));
    const QString attending = QString::fromUtf8(fuzzBytes(input.ConsumeRandomLengthString()));
    const qint64 fileBytes = input.ConsumeIntegralInRange<qint64>(0, Largest);
    const qint64 sectors = DispatchCommand::sectorsOf(fileBytes);
    FUZZ_CHECK(sectors == fileBytes / SectorSize + (fileBytes % SectorSize != 0));

    // The console refuses to dispatch a file whose name would split the command.
    if (DispatchCommand::breaksLine(path))
        return 0;
    DispatchCommand command;
    command.port = input.ConsumeIntegralInRange<quint16>(1, std::numeric_limits<quint16>::max());
    command.fileName = DispatchCommand::announcedName(path);
    command.capacity = DispatchCommand::isFirmwarePath(path)
                           ? sectors
                           : input.ConsumeIntegralInRange<qint64>(1, Largest);
    command.method =
        input.ConsumeBool() ? DispatchCommand::MethodFull : DispatchCommand::MethodImage;
    const QHostAddress previous(input.ConsumeIntegral<quint32>());
    if (input.ConsumeBool())
        command.previous = DispatchCommand::neighbour(previous.toString(), command.port);
    command.media = DispatchCommand::mediaOf(QString(attending).remove(QLatin1Char('\n')));
    const QString line = command.line();
    FUZZ_CHECK(line.indexOf(QLatin1Char('\n')) == line.size() - 1);

    DispatchOrder order;
    FUZZ_CHECK(DispatchOrder::parse(line.chopped(1).toUtf8(), order));
    FUZZ_CHECK(order.port == command.port && order.name == command.fileName);
    FUZZ_CHECK(order.capacity == command.capacity && order.next.isNull());
    FUZZ_CHECK(order.full == (command.method == DispatchCommand::MethodFull));
    FUZZ_CHECK(order.isHead() == (command.previous == DispatchCommand::NoNeighbour));
    DispatchOrder::parse(fuzzBytes(data, size), order);
    return 0;
}
