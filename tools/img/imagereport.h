#pragma once

#include "image/imagelayout.h"
#include "image/sidecar.h"

#include <QJsonObject>
#include <QString>

// What tarn-img says of one file: gathered by the image library's checks, put in words or in
// JSON here.
struct ImageReport
{
    enum class Kind
    {
        Info,
        Verify
    };

    QString path;
    QString openError; // empty once the file could be opened
    ImageLayout layout;
    Sidecar::Verdict verdict; // verify only, once the structure is good

    // Info reads head, table and tail; verify also digests the whole file against its sidecar
    // when the structure is good.
    static ImageReport make(Kind kind, const QString &path);

    bool isGood(Kind kind) const;
    // Info: several lines; verify: one line, naming the first fault.
    QString text(Kind kind) const;
    QJsonObject json(Kind kind) const;

private:
    QString infoText() const;
    QJsonObject infoJson() const;
    // The first fault: its name for JSON and its description.
    QString faultName() const;
    QString faultText() const;
};
