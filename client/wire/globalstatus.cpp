#include "client/wire/globalstatus.h"

#include "client/wire/decimal.h"

namespace {
constexpr int KindChar = 1;
constexpr int PayloadStart = 3;

GlobalStatus::Kind kindOf(const QString &line)
{
    if (line.size() <= KindChar)
        return GlobalStatus::Other;
    switch (line.at(KindChar).unicode()) {
    case 'S':
        return GlobalStatus::RunStart;
    case 'F':
        return GlobalStatus::RunEnd;
    case 'I':
        return GlobalStatus::RunTotal;
    case 'J':
        return GlobalStatus::NoSource;
    case 'T':
        return GlobalStatus::Terminate;
    case 'M':
        return GlobalStatus::MachineInfo;
    case 'N':
        return GlobalStatus::SettingsBlock;
    case 'R':
        return GlobalStatus::FileList;
    default:
        return GlobalStatus::Other;
    }
}
} // namespace

GlobalStatus GlobalStatus::parse(const QString &line)
{
    GlobalStatus status;
    status.kind = kindOf(line);
    status.payload = line.mid(PayloadStart);
    if (status.kind == RunTotal)
        status.total = parseDecimal(status.payload);
    return status;
}

QString SettingsBlock::sourceName(const QString &sourceLine)
{
    return QString(sourceLine).remove(sourceKey());
}
