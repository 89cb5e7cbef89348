#include "imagesynth.h"

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"

ImageSynth::ImageSynth(const SimDevice &device, bool full)
    : device(device), table(full ? QVector<SimContent::Run>{{0, device.capacity}}
                                 : SimContent::briefRuns(device.capacity))
{
    ImageHead head = ImageHead::built(ImageHead::OptionFastChecksum);
    head.ulDevCap = static_cast<quint64>(device.capacity);
    framing = head.encoded();
    for (const SimContent::Run &r : table)
        framing += SStripInLogDiskMy::run(r.offset, r.sectors).encoded();
    framing += SStripInLogDiskMy::end(device.capacity, device.capacity).encoded();
}

bool ImageSynth::read(QByteArray &out, int maxBytes)
{
    while (maxBytes > 0) {
        if (framingAt < framing.size()) {
            const int n = qMin(maxBytes, framing.size() - framingAt);
            out.append(framing.constData() + framingAt, n);
            framingAt += n;
            maxBytes -= n;
        } else if (run < table.size()) {
            const SimContent::Run &r = table.at(run);
            const int n = static_cast<int>(qMin<qint64>(
                qMin<qint64>(maxBytes / SectorSize, BlockSectors), r.sectors - sectorInRun));
            if (n <= 0)
                break; // less room than one sector left
            const int at = out.size();
            out.resize(at + n * SectorSize);
            for (int i = 0; i < n; ++i)
                SimContent::fillSector(out.data() + at + i * SectorSize, device.seed,
                                       r.offset + sectorInRun + i);
            checksum.add(out.constData() + at, n * SectorSize);
            maxBytes -= n * SectorSize;
            sectorInRun += n;
            if (sectorInRun == r.sectors) {
                ++run;
                sectorInRun = 0;
            }
        } else if (!tailDone) {
            tailDone = true;
            ImageTail tail;
            tail.token = ImageTail::Token;
            tail.checksum = checksum.result();
            framing = tail.encoded();
            framingAt = 0;
        } else {
            break;
        }
    }
    return true;
}
