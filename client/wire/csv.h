#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// RFC 4180 tables of text. A record ends with CRLF; a field that holds a comma, a quote, a CR or
// an LF is quoted, its quotes doubled. Fields are untrusted text that spreadsheets open too.
namespace Csv {

// A field as stored: one that begins with = + - or @ gets a leading "'", so that no spreadsheet
// takes it for a formula. So that reading gives back exactly what was written, a field that
// already begins with "'" before one of those characters, or before another "'", gets one too.
QString guarded(const QString &field);
QString unguarded(const QString &field);

// One record, every field guarded and quoted where needed, with its CRLF.
QString record(const QStringList &fields);

struct Row
{
    int line = 0; // where the record begins, from 1
    QStringList fields;
};

struct Table
{
    QVector<Row> rows;
    QVector<int> badLines; // first lines of records that break the rules, left out of rows
};

// Strict reading: a quote inside an unquoted field, anything but a separator after a closing
// quote, a CR not followed by LF outside quotes and an unclosed quote are errors; reading goes on
// at the line after the one where the bad record began. Records may also end with a bare LF; empty
// lines and a leading byte-order mark are skipped. Fields come back unguarded.
Table parse(const QString &text);

} // namespace Csv
