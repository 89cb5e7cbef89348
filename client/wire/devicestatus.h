#pragma once

#include <QString>

// One device status line of a machine: "@" ACCESS, a space, a kind token, then kind-specific
// fields, all separated by single spaces. Only the first character of the kind token counts.
struct DeviceStatus
{
    enum Kind
    {
        Identify, // "@" ACCESS " A " PORT " ," CAPACITY "," MODEL "," VENDOR
        Progress, // "@" ACCESS " C " X " " DONE
        Failed,   // "@" ACCESS " N"
        Passed,   // "@" ACCESS " O"
        State,    // "@" ACCESS " S " STATE
        Other     // unknown or missing kind: the line belongs in the machine's log
    };

    static constexpr QChar Marker = QLatin1Char('@');

    Kind kind = Other;
    QString access;
    QString port;         // Identify
    QString capacityText; // Identify, exactly as sent
    quint64 capacity = 0; // Identify
    QString model;        // Identify
    QString vendor;       // Identify
    quint64 done = 0;     // Progress
    QString state;        // State

    // Missing tokens or sections read as empty text or 0; nothing here fails.
    static DeviceStatus parse(const QString &line);
};

// DONE as a whole percentage of the total, rounded down and not limited to 100; the total must
// not be 0. Saturates instead of wrapping for counts beyond 64-bit range after scaling.
quint64 progressPercent(quint64 done, quint64 total);
