#include "client/wire/decimal.h"
#include "client/wire/devicestatus.h"
#include "client/wire/globalstatus.h"
#include "client/wire/linecodec.h"
#include "client/wire/machineinfo.h"
#include "client/wire/runlogname.h"
#include "fuzzcheck.h"

#include <QTextCodec>

namespace {
// One line of a machine's session, read as the console reads it.
void readLine(const QString &line, bool &inSettings, quint64 &total)
{
    if (inSettings) {
        inSettings = !line.contains(SettingsBlock::endMark());
        const bool named = line.contains(SettingsBlock::sourceKey());
        FUZZ_CHECK(!named || SettingsBlock::sourceName(line).size() < line.size());
    } else if (line.startsWith(DeviceStatus::Marker)) {
        const DeviceStatus status = DeviceStatus::parse(line);
        FUZZ_CHECK(status.capacity == parseDecimal(status.capacityText));
        if (status.kind == DeviceStatus::Progress && total > 0)
            FUZZ_CHECK(status.done > total || progressPercent(status.done, total) <= 100);
    } else if (line.startsWith(GlobalStatus::Marker)) {
        const GlobalStatus status = GlobalStatus::parse(line);
        inSettings = status.kind == GlobalStatus::SettingsBlock;
        total = status.kind == GlobalStatus::RunTotal ? status.total : total;
        // Any payload may come as machine information; its name names the run log, which must
        // stay in the current directory.
        const MachineInfo info = MachineInfo::parse(status.payload);
        const QString logFile = runLogFileName(info.name, QDateTime());
        FUZZ_CHECK(!logFile.startsWith(QLatin1Char('.')) && !logFile.contains(QLatin1Char('/')));
        FUZZ_CHECK(!info.text.contains(QLatin1Char('|')));
        for (const QString &port : MachineInfo::portNames(info.portSection))
            FUZZ_CHECK(!port.contains(QLatin1Char(':')) && !port.contains(QLatin1Char('\n')));
    }
}
} // namespace

// A machine's session of lines, once as the platform's encoding reads it and once as a Chinese
// installation does (UTF-8, then re-encoded).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTextCodec *const platform = QTextCodec::codecForLocale();
    static QTextCodec *const utf8 = QTextCodec::codecForName("UTF-8");
    const QList<QByteArray> lines = fuzzBytes(data, size).split('\n');
    for (const bool chinese : {false, true}) {
        bool inSettings = false;
        quint64 total = 0;
        for (const QByteArray &bytes : lines) {
            const QString line =
                chinese ? reencodeReceivedLine(utf8->toUnicode(bytes)) : platform->toUnicode(bytes);
            readLine(line, inSettings, total);
        }
    }
    return 0;
}
