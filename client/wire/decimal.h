#pragma once

#include <QString>
#include <QStringRef>

// Counts and totals that machines send: unsigned 64-bit decimal; anything else reads as 0.
quint64 parseDecimal(const QStringRef &text);
inline quint64 parseDecimal(const QString &text)
{
    return parseDecimal(QStringRef(&text));
}
