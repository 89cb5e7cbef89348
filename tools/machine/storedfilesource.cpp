#include "storedfilesource.h"

StoredFileSource::StoredFileSource(const QString &path) : file(path) {}

bool StoredFileSource::read(QByteArray &out, int maxBytes)
{
    if (!opened) {
        if (!file.open(QIODevice::ReadOnly)) {
            failure = file.errorString();
            return false;
        }
        opened = true;
    }
    const int at = out.size();
    out.resize(at + maxBytes);
    const qint64 got = file.read(out.data() + at, maxBytes);
    if (got < 0) {
        out.resize(at);
        failure = file.errorString();
        return false;
    }
    out.resize(at + static_cast<int>(got));
    return true;
}
