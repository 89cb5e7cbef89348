#pragma once

#include <QString>

class QTextBrowser;

// The console's global log: every event is one line of plain text added at the end.
namespace GlobalLog {
void append(QTextBrowser *log, const QString &line);
}
