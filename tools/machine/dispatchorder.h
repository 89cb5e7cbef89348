#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

// The dispatch command "D port name capacity method previous next media": what is coming, and
// where this machine stands in the chain of machines that receive it.
struct DispatchOrder
{
    quint16 port = 0; // the console's transfer port
    QString name;     // file name to store under
    qint64 capacity = 0;
    bool full = false;     // "full": write onto the devices; "image": keep the file
    QHostAddress previous; // null for ":": this machine fetches from the console
    QHostAddress next;     // null for ":": the end of the chain
    QStringList media;     // port names, without source marks

    bool isHead() const { return previous.isNull(); }

    // The line without its line feed; false when it is not a well-formed dispatch command.
    static bool parse(const QByteArray &line, DispatchOrder &order);
    // "ADDRESS:PORT" or ":"; false for anything else.
    static bool parseNeighbour(const QString &field, QHostAddress &address);
};
