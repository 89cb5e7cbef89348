#include "transfer/dispatchcommand.h"

#include "image/imagefile.h"

namespace {
constexpr QChar PathSeparator = QLatin1Char('/');
constexpr QChar EntrySeparator = QLatin1Char('|');
constexpr QChar SourceMark = QLatin1Char('*');
constexpr QChar Space = QLatin1Char(' ');
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar CarriageReturn = QLatin1Char('\r');

const char *const FirmwareMarks[] = {"k31update", "zr8sataupdate", "zr8nvmeupdate", "zr8usbupdate"};
} // namespace

QString DispatchCommand::line() const
{
    // One pass over the pattern: a name holding "%1" stays as it is.
    return QStringLiteral("D %1 %2 %3 %4 %5 %6 %7\n")
        .arg(QString::number(port), fileName, QString::number(capacity), method, previous, next,
             media);
}

QString DispatchCommand::announcedName(const QString &path)
{
    return path.section(PathSeparator, -1).remove(Space);
}

bool DispatchCommand::breaksLine(const QString &path)
{
    const QString name = announcedName(path);
    return name.contains(LineFeed) || name.contains(CarriageReturn);
}

QString DispatchCommand::mediaOf(const QString &attendEntry)
{
    const int devices = attendEntry.indexOf(EntrySeparator);
    return devices < 0 ? QString() : withoutSourceMarks(attendEntry.mid(devices + 1));
}

QString DispatchCommand::withoutSourceMarks(QString devices)
{
    return devices.remove(SourceMark);
}

QString DispatchCommand::neighbour(const QString &address, quint16 port)
{
    return address + QLatin1Char(':') + QString::number(port);
}

bool DispatchCommand::isFirmwarePath(const QString &path)
{
    for (const char *mark : FirmwareMarks) {
        if (path.contains(QLatin1String(mark), Qt::CaseSensitive))
            return true;
    }
    return false;
}

qint64 DispatchCommand::sectorsOf(qint64 bytes)
{
    // Rounded up without adding first, which would overflow for the largest sizes.
    return bytes / SectorSize + (bytes % SectorSize > 0);
}
