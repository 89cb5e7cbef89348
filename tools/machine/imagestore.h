#pragma once

#include <QString>
#include <QStringList>

// The folder in which one machine keeps its image files. Names come from the console, so only
// plain file names are accepted: no folders, no hidden files, nothing the file list cannot show.
class ImageStore
{
public:
    explicit ImageStore(const QString &folder);

    bool ensure() const;
    QString folder() const { return dir; }
    // Image files held, sorted by name; files being received do not show.
    QStringList list() const;
    bool contains(const QString &name) const;
    QString path(const QString &name) const;

    // Where a file being received is written until it is complete, and putting it in place.
    QString partPath(const QString &name) const;
    bool commit(const QString &name) const;

    static bool isAcceptableName(const QString &name);

private:
    QString dir;
};
