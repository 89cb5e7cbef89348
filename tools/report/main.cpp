// tarn-report: turns the console's run records files into a PDF report.
//
//   tarn-report [--machine NAME] [--operation OP] [--since TIME] [--until TIME] -o OUT.pdf CSV...
//
// Exit status: 0 report written, 1 nothing to report or the PDF could not be written, 2 usage.

#include "reportdocument.h"
#include "runreport.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLocale>
#include <QSysInfo>
#include <QTextDocument>

#include <cstdio>

namespace {
constexpr int ExitNothingToReport = 1;
constexpr int ExitUsage = 2;
constexpr int DateOnlyLength = 10; // "2024-05-01"

void printErr(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

// An ISO 8601 date or date and time; a date alone means the start of that day, or with
// endOfDay the start of the next (so --until DAY takes in the whole day).
bool parseTime(const QString &text, bool endOfDay, QDateTime &when)
{
    if (text.size() == DateOnlyLength) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        when = QDateTime(endOfDay ? day.addDays(1) : day, QTime(0, 0));
    } else {
        when = QDateTime::fromString(text, Qt::ISODate);
    }
    return when.isValid();
}

// The paper follows the locale that LC_PAPER (or LC_ALL) names, else the system's.
QLocale paperLocale()
{
    for (const char *variable : {"LC_ALL", "LC_PAPER"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return QLocale(name.section(QLatin1Char('.'), 0, 0));
    }
    return QLocale::system();
}
} // namespace

int main(int argc, char *argv[])
{
    // No display is needed to write a PDF.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarn-report"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a PDF report of the runs in the console's run records files "
                       "(tarn-runs-YYYY-MM-DD.csv)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption machine(QStringLiteral("machine"),
                                     QStringLiteral("Only the runs of this machine."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption operation(QStringLiteral("operation"),
                                       QStringLiteral("Only runs of this operation (any case)."),
                                       QStringLiteral("OP"));
    const QCommandLineOption since(
        QStringLiteral("since"),
        QStringLiteral("Only runs that started at or after TIME (ISO 8601 date or date and time)."),
        QStringLiteral("TIME"));
    const QCommandLineOption until(
        QStringLiteral("until"),
        QStringLiteral("Only runs that ended before TIME; a date alone takes in that whole day."),
        QStringLiteral("TIME"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The PDF file to write."),
                                    QStringLiteral("OUT.pdf"));
    parser.addOptions({machine, operation, since, until, output});
    parser.addPositionalArgument(QStringLiteral("CSV"), QStringLiteral("Run records files."),
                                 QStringLiteral("CSV..."));

    const auto usageError = [&parser](const QString &why) {
        printErr(QStringLiteral("tarn-report: %1").arg(why));
        printErr(parser.helpText());
        return ExitUsage;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    RunFilter filter;
    filter.machine = parser.value(machine);
    filter.operation = parser.value(operation);
    if (parser.isSet(since) && !parseTime(parser.value(since), false, filter.since))
        return usageError(
            QStringLiteral("--since: not an ISO 8601 time: %1").arg(parser.value(since)));
    if (parser.isSet(until) && !parseTime(parser.value(until), true, filter.until))
        return usageError(
            QStringLiteral("--until: not an ISO 8601 time: %1").arg(parser.value(until)));
    if (parser.value(output).isEmpty())
        return usageError(QStringLiteral("no output file (-o OUT.pdf)"));
    if (parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("no run records file"));

    const RecordFiles files = readRecordFiles(parser.positionalArguments());
    for (const QString &problem : files.problems)
        printErr(QStringLiteral("tarn-report: skipped %1").arg(problem));
    const QVector<ReportRun> runs = groupRuns(files.records, filter);
    if (runs.isEmpty()) {
        printErr(QStringLiteral("tarn-report: no run to report"));
        return ExitNothingToReport;
    }

    const QString title = reportTitle(runs);
    const auto document =
        reportDocument(runs, QSysInfo::machineHostName(), QDateTime::currentDateTime());
    QString error;
    if (!writePdf(*document, title, pageSizeFor(paperLocale()), parser.value(output), error)) {
        printErr(
            QStringLiteral("tarn-report: cannot write %1: %2").arg(parser.value(output), error));
        return ExitNothingToReport;
    }
    return 0;
}
