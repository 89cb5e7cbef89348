#pragma once

#include "imagesource.h"

#include <QFile>

// An image file from the machine's store, sent as it lies on disk.
class StoredFileSource : public ImageSource
{
public:
    explicit StoredFileSource(const QString &path);

    bool read(QByteArray &out, int maxBytes) override;

private:
    QFile file;
    bool opened = false;
};
