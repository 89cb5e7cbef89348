#include "client/wire/devicestatus.h"

#include "client/wire/decimal.h"

#include <QStringRef>

#include <limits>

namespace {
constexpr QChar TokenSeparator = QLatin1Char(' ');
constexpr QChar SectionSeparator = QLatin1Char(',');
constexpr int AccessToken = 0;
constexpr int KindToken = 1;
constexpr int PortToken = 2;
constexpr int StateToken = 2;
constexpr int DoneToken = 3;
constexpr int TokensRead = 4;
constexpr int CapacitySection = 1;
constexpr int ModelSection = 2;
constexpr int VendorSection = 3;
constexpr quint64 PercentScale = 100;

// The first tokens of a line cut at every single space, empty tokens kept.
struct Tokens
{
    QStringRef token[TokensRead];

    explicit Tokens(const QString &line)
    {
        int start = 0;
        for (int i = 0; i < TokensRead && start <= line.size(); ++i) {
            int end = line.indexOf(TokenSeparator, start);
            if (end < 0)
                end = line.size();
            token[i] = line.midRef(start, end - start);
            start = end + 1;
        }
    }
};

DeviceStatus::Kind kindOf(const QStringRef &token)
{
    if (token.isEmpty())
        return DeviceStatus::Other;
    switch (token.at(0).unicode()) {
    case 'A':
        return DeviceStatus::Identify;
    case 'C':
        return DeviceStatus::Progress;
    case 'N':
        return DeviceStatus::Failed;
    case 'O':
        return DeviceStatus::Passed;
    case 'S':
        return DeviceStatus::State;
    default:
        return DeviceStatus::Other;
    }
}
} // namespace

DeviceStatus DeviceStatus::parse(const QString &line)
{
    const Tokens tokens(line);
    DeviceStatus status;
    status.kind = kindOf(tokens.token[KindToken]);
    status.access = tokens.token[AccessToken].mid(1).toString();
    switch (status.kind) {
    case Identify:
        status.port = tokens.token[PortToken].toString();
        status.capacityText = line.section(SectionSeparator, CapacitySection, CapacitySection);
        status.capacity = parseDecimal(status.capacityText);
        status.model = line.section(SectionSeparator, ModelSection, ModelSection);
        status.vendor = line.section(SectionSeparator, VendorSection, VendorSection);
        break;
    case Progress:
        status.done = parseDecimal(tokens.token[DoneToken]);
        break;
    case State:
        status.state = tokens.token[StateToken].toString();
        break;
    case Failed:
    case Passed:
    case Other:
        break;
    }
    return status;
}

quint64 progressPercent(quint64 done, quint64 total)
{
    const unsigned __int128 percent = static_cast<unsigned __int128>(done) * PercentScale / total;
    constexpr quint64 Largest = std::numeric_limits<quint64>::max();
    return percent > Largest ? Largest : static_cast<quint64>(percent);
}
