#pragma once

#include <QDateTime>
#include <QString>

// "NAME-yyyy-MM-dd-hh-mm-ss.txt" for the log of a run that ended at the given time. The machine
// name is untrusted: separators, control characters and a leading dot become "_", so the file
// always lands in the current directory.
QString runLogFileName(const QString &machineName, const QDateTime &when);
