#pragma once

#include <QByteArray>
#include <QString>

// The bytes of one image stream, handed out piece by piece so that no stream is held whole.
class ImageSource
{
public:
    virtual ~ImageSource() = default;

    // Appends at most maxBytes of the stream to out (nothing at its end); false on a failure,
    // which error() then names.
    virtual bool read(QByteArray &out, int maxBytes) = 0;
    QString error() const { return failure; }

protected:
    QString failure;
};
