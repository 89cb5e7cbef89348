// tarn-img: describes and checks the console's image files from the command line.

#include "imagereport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace {
constexpr int ExitGood = 0;
constexpr int ExitBadFile = 1;
constexpr int ExitUsage = 2;

const char Usage[] =
    "Usage: tarn-img info [--json] FILE...\n"
    "       tarn-img verify [--json] FILE...\n"
    "\n"
    "Describes and checks image files (*.img) of the TARN console.\n"
    "\n"
    "  info     prints, per file, the head fields (token, version, slice size, options,\n"
    "           device capacity), the number of table entries and of entries carrying\n"
    "           data, the capacity from the end entry, the data bytes the table calls for,\n"
    "           the tail and its checksum, and whether the file's size equals head + table\n"
    "           + data + tail.\n"
    "  verify   checks, per file, the structure (head, token, version, a table closed by\n"
    "           an end entry within 61680 entries, no negative run length, all the data,\n"
    "           the tail when announced, no trailing bytes), then the SHA-256 against\n"
    "           FILE.sha256 when there is one. One line per file; a bad file's line names\n"
    "           its first fault. A file without a sidecar is reported, and is not a fault.\n"
    "\n"
    "Options:\n"
    "  --json       one JSON array with one object per file; the head's device capacity,\n"
    "               unsigned 64-bit, is a decimal string there\n"
    "  -h, --help   this text\n"
    "\n"
    "Exit status: 0 when every file is good (info: could be read), 1 when one is not,\n"
    "2 on a usage error.\n";

int usageError(const QString &why)
{
    QTextStream(stderr) << "tarn-img: " << why << "\nTry 'tarn-img --help'.\n";
    return ExitUsage;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(json);
    parser.addOption(help);
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << Usage;
        return ExitGood;
    }
    QStringList files = parser.positionalArguments();
    const QString command = files.isEmpty() ? QString() : files.takeFirst();
    ImageReport::Kind kind = ImageReport::Kind::Info;
    if (command == QLatin1String("verify"))
        kind = ImageReport::Kind::Verify;
    else if (command != QLatin1String("info"))
        return usageError(command.isEmpty() ? QStringLiteral("no command")
                                            : QStringLiteral("unknown command %1").arg(command));
    if (files.isEmpty())
        return usageError(QStringLiteral("no file"));

    QTextStream out(stdout);
    QJsonArray reports;
    int exitCode = ExitGood;
    for (const QString &file : qAsConst(files)) {
        const ImageReport report = ImageReport::make(kind, file);
        if (!report.isGood(kind))
            exitCode = ExitBadFile;
        if (parser.isSet(json))
            reports.append(report.json(kind));
        else
            out << report.text(kind) << (kind == ImageReport::Kind::Verify ? "\n" : "")
                << Qt::flush;
    }
    if (parser.isSet(json))
        out << QJsonDocument(reports).toJson(QJsonDocument::Indented);
    return exitCode;
}
