#pragma once

#include <QString>

// One global status line of a machine: "&", a kind character, a separator that is dropped
// whatever it is, then the payload.
struct GlobalStatus
{
    enum Kind
    {
        RunStart,      // S: the operation's name
        RunEnd,        // F: a completion text
        RunTotal,      // I: decimal total to process
        NoSource,      // J: the run goes without a source device
        Terminate,     // T: a reason text
        MachineInfo,   // M: see MachineInfo
        SettingsBlock, // N: settings lines follow, up to "Settings End"
        FileList,      // R: file names joined by "|"
        Other          // unknown or missing kind: the line belongs in the machine's log
    };

    static constexpr QChar Marker = QLatin1Char('&');

    Kind kind = Other;
    QString payload;
    quint64 total = 0; // RunTotal

    static GlobalStatus parse(const QString &line);
};

// The settings block that follows an N line.
namespace SettingsBlock {
// A line holding this names the source port; the name is the line with every key removed.
inline QString sourceKey()
{
    return QStringLiteral("source=");
}
// A line holding this ends the block and is not shown.
inline QString endMark()
{
    return QStringLiteral("Settings End");
}
QString sourceName(const QString &sourceLine);
} // namespace SettingsBlock
