#include "client/globallog.h"

#include "client/logpage.h"

void GlobalLog::append(QTextBrowser *log, const QString &line)
{
    LogPage::of(log, LogPage::GlobalLimits)->insert(line, LogPage::Insert::AtEnd);
}
