#include "imagestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int MaxNameLength = 255;
const char *const PartSuffix = ".part";
} // namespace

ImageStore::ImageStore(const QString &folder) : dir(folder) {}

bool ImageStore::ensure() const
{
    return QDir().mkpath(dir);
}

bool ImageStore::isAcceptableName(const QString &name)
{
    if (name.isEmpty() || name.size() > MaxNameLength || name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : name) {
        // "|" separates names in the file list; a line feed would end the line.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('|') ||
            c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QStringList ImageStore::list() const
{
    QStringList names;
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries)
        if (isAcceptableName(entry.fileName()))
            names << entry.fileName();
    return names;
}

bool ImageStore::contains(const QString &name) const
{
    return isAcceptableName(name) && QFileInfo(path(name)).isFile();
}

QString ImageStore::path(const QString &name) const
{
    return QDir(dir).filePath(name);
}

QString ImageStore::partPath(const QString &name) const
{
    return QDir(dir).filePath(QLatin1Char('.') + name + QLatin1String(PartSuffix));
}

bool ImageStore::commit(const QString &name) const
{
    const QString target = path(name);
    if (QFileInfo::exists(target) && !QFile::remove(target))
        return false;
    return QFile::rename(partPath(name), target);
}
