#include "fuzzcheck.h"
#include "image/brieflogtable.h"
#include "image/imagefile.h"
#include "image/sidecar.h"

#include <QBuffer>

// An image file as the reader walks it: head, table up to its end entry, the data the table
// announces and the tail; the capacity lookup must agree with the walk. The same bytes as a
// checksum file: what is read is written back as a line that reads the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = fuzzBytes(data, size);
    Sidecar::Parsed parsed, again;
    if (Sidecar::parse(file, parsed)) {
        FUZZ_CHECK(Sidecar::parse(Sidecar::line(parsed.hexDigest, parsed.fileName), again));
        FUZZ_CHECK(again.hexDigest == parsed.hexDigest && again.fileName == parsed.fileName);
    }
    QBuffer device;
    device.setData(file);
    FUZZ_CHECK(device.open(QIODevice::ReadOnly));
    const qint64 capacity = imageCapacity(device);
    ImageHead head;
    if (!ImageHead::decode(file, head) || head.check() != ImageHead::Check::Ok) {
        FUZZ_CHECK(capacity == 0);
        return 0;
    }
    FUZZ_CHECK(head.encoded() == file.left(ImageHead::Size));

    static BriefLogTable table;
    FUZZ_CHECK(table.allocate());
    int at = ImageHead::Size;
    SStripInLogDiskMy entry;
    while (!table.isComplete()) {
        const QByteArray bytes = file.mid(at, SStripInLogDiskMy::Size);
        if (!SStripInLogDiskMy::decode(bytes, entry))
            break;
        FUZZ_CHECK(entry.encoded() == bytes);
        table.append(entry);
        at += SStripInLogDiskMy::Size;
    }
    // The lookup alone reads on past LogSize entries.
    FUZZ_CHECK(table.hasEnd() ? capacity == entry.cn_sector
                              : capacity == 0 || table.size() == LogSize);
    const qint64 dispatched = table.dispatchDataBytes();
    FUZZ_CHECK(0 <= dispatched && dispatched <= table.loadDataBytes());
    const qint64 whole = imageStreamBytes(head, table.size(), dispatched);
    FUZZ_CHECK(whole >= at);

    ImageTail tail;
    const QByteArray tailBytes =
        whole <= file.size() ? file.mid(int(whole) - ImageTail::Size) : QByteArray();
    if (head.hasTail() && ImageTail::decode(tailBytes, tail)) {
        FUZZ_CHECK(tail.encoded() == tailBytes.left(ImageTail::Size));
        FUZZ_CHECK(checksumHex(tail.checksum).toUInt(nullptr, 16) == tail.checksum);
    }
    return 0;
}
