#include "client/wire/runlogname.h"

namespace {
constexpr QChar Replacement = QLatin1Char('_');
constexpr QChar HiddenFileMark = QLatin1Char('.');

bool unsafeInFileName(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
}
} // namespace

QString runLogFileName(const QString &machineName, const QDateTime &when)
{
    QString name = machineName;
    for (QChar &c : name) {
        if (unsafeInFileName(c))
            c = Replacement;
    }
    if (name.startsWith(HiddenFileMark))
        name[0] = Replacement;
    return QStringLiteral("%1-%2.txt")
        .arg(name, when.toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss")));
}
