#include "client/wire/runrecord.h"

#include <QRegularExpression>

namespace {
constexpr int SecondsPerMinute = 60;
constexpr int MinutesPerHour = 60;
constexpr int SecondsPerHour = MinutesPerHour * SecondsPerMinute;

// ISO 8601 with seconds and an explicit offset; what isoLocalTime writes.
bool parseTime(const QString &text, QDateTime &when)
{
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d([+-]\\d\\d:\\d\\d|Z)$"));
    if (!form.match(text).hasMatch())
        return false;
    when = QDateTime::fromString(text, Qt::ISODate);
    return when.isValid();
}

bool parseWhole(const QString &text, qint64 &value)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,18}$"));
    if (!digits.match(text).hasMatch())
        return false;
    value = text.toLongLong();
    return true;
}
} // namespace

QStringList RunRecord::header()
{
    return {QStringLiteral("run_start"),  QStringLiteral("run_end"), QStringLiteral("duration_s"),
            QStringLiteral("machine"),    QStringLiteral("address"), QStringLiteral("operation"),
            QStringLiteral("port"),       QStringLiteral("role"),    QStringLiteral("access_name"),
            QStringLiteral("model"),      QStringLiteral("vendor"),  QStringLiteral("capacity"),
            QStringLiteral("percentage"), QStringLiteral("result"),  QStringLiteral("run_log")};
}

QStringList RunRecord::fields() const
{
    return {start.isValid() ? isoLocalTime(start) : QString(),
            isoLocalTime(end),
            durationSeconds < 0 ? QString() : QString::number(durationSeconds),
            machine,
            address,
            operation,
            port,
            role,
            access,
            model,
            vendor,
            capacity,
            percentage,
            result,
            runLog};
}

bool RunRecord::fromFields(const QStringList &fields, RunRecord &record)
{
    if (fields.size() != ColumnCount || fields == header())
        return false;
    RunRecord r;
    qint64 whole = 0;
    if (!parseTime(fields.at(RunEnd), r.end) ||
        (!fields.at(RunStart).isEmpty() && !parseTime(fields.at(RunStart), r.start)))
        return false;
    if (!fields.at(DurationSeconds).isEmpty()) {
        if (!parseWhole(fields.at(DurationSeconds), r.durationSeconds))
            return false;
    }
    if (!fields.at(Percentage).isEmpty() && !parseWhole(fields.at(Percentage), whole))
        return false;
    if (fields.at(Role) != sourceRole() && fields.at(Role) != targetRole())
        return false;
    r.machine = fields.at(MachineName);
    r.address = fields.at(MachineAddress);
    r.operation = fields.at(Operation);
    r.port = fields.at(Port);
    r.role = fields.at(Role);
    r.access = fields.at(AccessName);
    r.model = fields.at(Model);
    r.vendor = fields.at(Vendor);
    r.capacity = fields.at(Capacity);
    r.percentage = fields.at(Percentage);
    r.result = fields.at(Result);
    r.runLog = fields.at(RunLogFile);
    record = r;
    return true;
}

QString isoLocalTime(const QDateTime &when)
{
    const int offsetMinutes = when.offsetFromUtc() / SecondsPerMinute;
    const int magnitude = qAbs(offsetMinutes);
    return when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           (offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(magnitude / MinutesPerHour, 2, 10, QLatin1Char('0'))
               .arg(magnitude % MinutesPerHour, 2, 10, QLatin1Char('0'));
}

QString clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / SecondsPerHour)
        .arg(seconds % SecondsPerHour / SecondsPerMinute, 2, 10, QLatin1Char('0'))
        .arg(seconds % SecondsPerMinute, 2, 10, QLatin1Char('0'));
}

QString runRecordsFileName(const QDate &day)
{
    return QStringLiteral("tarn-runs-%1.csv").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}
