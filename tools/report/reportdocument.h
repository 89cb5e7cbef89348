#pragma once

#include "runreport.h"

#include <QDateTime>
#include <QPageSize>
#include <QString>

#include <memory>

class QLocale;
class QTextDocument;

// The report as a text document: title, the console host and the time of writing, the overall
// tally, then per run its machine, operation, times and a table of its devices with the run's
// tally. Machine text goes in as plain text, never as markup.
std::unique_ptr<QTextDocument> reportDocument(const QVector<ReportRun> &runs, const QString &host,
                                              const QDateTime &written);

// Letter where the locale's paper is Letter (the Americas that use it, the Philippines), else A4.
QPageSize::PageSizeId pageSizeFor(const QLocale &locale);

// Prints the document to a PDF file; false with the reason when the file cannot be written.
bool writePdf(QTextDocument &document, const QString &title, QPageSize::PageSizeId pageSize,
              const QString &path, QString &error);
