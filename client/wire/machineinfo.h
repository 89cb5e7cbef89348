#pragma once

#include <QString>
#include <QStringList>

// The payload of a machine information line: NAME|MODEL|VENDOR|VERSION|COUNT|PORT1|...|PORTn|END.
struct MachineInfo
{
    enum Line
    {
        NameLine = 0,
        ModelLine,
        VendorLine,
        VersionLine,
        PortSectionLine
    };

    QString text; // the payload with every "|" turned into a line feed
    QString name; // missing lines read as empty text
    QString model;
    QString vendor;
    QString version;
    QString portSection; // the count line, one line per port and the end line

    static MachineInfo parse(const QString &payload);

    // Port names in row order: the port section without its first and last line, every ":"
    // removed. A section of fewer than two lines names no port.
    static QStringList portNames(const QString &portSection);
};
