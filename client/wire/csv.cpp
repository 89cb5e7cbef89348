#include "client/wire/csv.h"

namespace {
constexpr QChar Comma = QLatin1Char(',');
constexpr QChar Quote = QLatin1Char('"');
constexpr QChar CarriageReturn = QLatin1Char('\r');
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar FormulaGuard = QLatin1Char('\'');
constexpr QChar ByteOrderMark = QChar(0xfeff);

bool startsFormula(QChar c)
{
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') ||
           c == QLatin1Char('@');
}

// A guard put in front of a field: the field itself starts with a guard followed by what would
// have needed one.
bool isGuarded(const QString &field)
{
    return field.size() > 1 && field.at(0) == FormulaGuard &&
           (startsFormula(field.at(1)) || field.at(1) == FormulaGuard);
}

// Reads one record from pos; false at the first error. pos ends after the record's line end.
class RecordReader
{
public:
    RecordReader(const QString &text, int pos) : text(text), pos(pos) {}

    bool read(QStringList &fields)
    {
        for (;;) {
            QString field;
            if (!(at(Quote) ? readQuoted(field) : readPlain(field)))
                return false;
            fields << Csv::unguarded(field);
            if (at(Comma)) {
                ++pos;
                continue;
            }
            return readLineEnd();
        }
    }

    int position() const { return pos; }

private:
    bool atEnd() const { return pos >= text.size(); }
    bool at(QChar c) const { return !atEnd() && text.at(pos) == c; }

    bool readQuoted(QString &field)
    {
        ++pos;
        for (;;) {
            const int close = text.indexOf(Quote, pos);
            if (close < 0)
                return false;
            field += text.midRef(pos, close - pos);
            pos = close + 1;
            if (!at(Quote))
                return atEnd() || at(Comma) || at(CarriageReturn) || at(LineFeed);
            field += Quote;
            ++pos;
        }
    }

    bool readPlain(QString &field)
    {
        const int start = pos;
        while (!atEnd() && !at(Comma) && !at(CarriageReturn) && !at(LineFeed)) {
            if (at(Quote))
                return false;
            ++pos;
        }
        field = text.mid(start, pos - start);
        return true;
    }

    bool readLineEnd()
    {
        if (at(CarriageReturn))
            ++pos;
        else if (atEnd())
            return true;
        if (!at(LineFeed))
            return false;
        ++pos;
        return true;
    }

    const QString &text;
    int pos;
};
} // namespace

QString Csv::guarded(const QString &field)
{
    if (!field.isEmpty() && (startsFormula(field.at(0)) || isGuarded(field)))
        return FormulaGuard + field;
    return field;
}

QString Csv::unguarded(const QString &field)
{
    return isGuarded(field) ? field.mid(1) : field;
}

QString Csv::record(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &field : fields) {
        QString cell = guarded(field);
        if (cell.contains(Comma) || cell.contains(Quote) || cell.contains(CarriageReturn) ||
            cell.contains(LineFeed))
            cell = Quote + cell.replace(Quote, QStringLiteral("\"\"")) + Quote;
        out << cell;
    }
    return out.join(Comma) + QStringLiteral("\r\n");
}

Csv::Table Csv::parse(const QString &text)
{
    Table table;
    int pos = text.startsWith(ByteOrderMark) ? 1 : 0;
    int line = 1;
    while (pos < text.size()) {
        if (text.at(pos) == LineFeed || text.midRef(pos, 2) == QLatin1String("\r\n")) {
            pos += text.at(pos) == LineFeed ? 1 : 2;
            ++line;
            continue;
        }
        RecordReader reader(text, pos);
        Row row;
        row.line = line;
        if (reader.read(row.fields)) {
            line += text.midRef(pos, reader.position() - pos).count(LineFeed);
            pos = reader.position();
            table.rows << row;
            continue;
        }
        table.badLines << line;
        const int nextLine = text.indexOf(LineFeed, pos);
        pos = nextLine < 0 ? text.size() : nextLine + 1;
        ++line;
    }
    return table;
}
