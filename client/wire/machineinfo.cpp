#include "client/wire/machineinfo.h"

namespace {
constexpr QChar FieldSeparator = QLatin1Char('|');
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar HiddenInPortName = QLatin1Char(':');
constexpr int FramingLines = 2; // count line and end line
} // namespace

MachineInfo MachineInfo::parse(const QString &payload)
{
    MachineInfo info;
    info.text = QString(payload).replace(FieldSeparator, LineFeed);
    const QStringList lines = info.text.split(LineFeed);
    info.name = lines.value(NameLine);
    info.model = lines.value(ModelLine);
    info.vendor = lines.value(VendorLine);
    info.version = lines.value(VersionLine);
    info.portSection = lines.mid(PortSectionLine).join(LineFeed);
    return info;
}

QStringList MachineInfo::portNames(const QString &portSection)
{
    QStringList pieces = portSection.split(LineFeed);
    if (pieces.size() < FramingLines)
        return {};
    pieces = pieces.mid(1, pieces.size() - FramingLines);
    for (QString &piece : pieces)
        piece.remove(HiddenInPortName);
    return pieces;
}
