#pragma once

#include "content.h"
#include "imagesource.h"
#include "simdevice.h"

#include <QVector>

// The image a machine takes of one of its devices: brief (the used runs) or full (one run of
// the whole device), with a tail carrying the machine's checksum of the data.
class ImageSynth : public ImageSource
{
public:
    explicit ImageSynth(const SimDevice &device, bool full);

    // maxBytes should leave room for at least one sector, or the data cannot move on.
    bool read(QByteArray &out, int maxBytes) override;

    const QVector<SimContent::Run> &runs() const { return table; }

private:
    SimDevice device;
    QVector<SimContent::Run> table;
    QByteArray framing; // head and table, then the tail once the data is out
    int framingAt = 0;
    int run = 0;
    qint64 sectorInRun = 0;
    bool tailDone = false;
    SimContent::Checksum checksum;
};
