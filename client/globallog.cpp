#include "client/globallog.h"

#include <QTextBrowser>

void GlobalLog::append(QTextBrowser *log, const QString &line)
{
    log->moveCursor(QTextCursor::End);
    log->insertPlainText(line);
}
