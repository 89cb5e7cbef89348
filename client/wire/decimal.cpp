#include "client/wire/decimal.h"

namespace {
constexpr int DecimalBase = 10;
}

quint64 parseDecimal(const QStringRef &text)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, DecimalBase);
    return ok ? value : 0;
}
