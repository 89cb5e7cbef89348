#include "client/wire/linecodec.h"

#include <QTextCodec>

QString reencodeReceivedLine(const QString &line)
{
    return QString::fromUtf8(QTextCodec::codecForLocale()->fromUnicode(line));
}
