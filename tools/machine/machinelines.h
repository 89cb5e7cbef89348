#pragma once

#include "simdevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The status lines a machine sends to the console, without their line feed.
namespace MachineLines {

// "&" line of the given kind; character 2 is the separator the console drops.
inline QByteArray global(char kind, const QString &payload = QString())
{
    return QByteArray("&") + kind + ' ' + payload.toUtf8();
}

inline QByteArray device(const SimDevice &d, const QString &rest)
{
    return '@' + d.access.toUtf8() + ' ' + rest.toUtf8();
}

inline QByteArray identify(const SimDevice &d)
{
    return device(
        d, QStringLiteral("A %1 ,%2,%3,%4").arg(d.port).arg(d.capacity).arg(d.model, d.vendor));
}

// DONE is counted in the unit of the run total (or of the device capacity without a source).
inline QByteArray progress(const SimDevice &d, int percent, qint64 done)
{
    return device(d, QStringLiteral("C %1 %2").arg(percent).arg(done));
}

inline QByteArray result(const SimDevice &d, bool ok)
{
    return device(d, ok ? QStringLiteral("O") : QStringLiteral("N"));
}

inline QByteArray state(const SimDevice &d, const QString &word)
{
    return device(d, QStringLiteral("S ") + word);
}

// A line for the machine's log: anything that is neither "@" nor "&".
inline QByteArray note(const QString &text)
{
    return '#' + text.toUtf8();
}

inline QByteArray information(const QString &name, const QString &model, const QString &vendor,
                              const QString &version, const QStringList &ports)
{
    QStringList fields{name, model, vendor, version, QString::number(ports.size())};
    fields += ports;
    fields += QStringLiteral("END");
    return global('M', fields.join(QLatin1Char('|')));
}

} // namespace MachineLines
