#include "client/wire/lineframer.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

// However a stream is cut into segments, the framer gives the lines and the dropped over-long
// lines that the whole stream holds, and holds back no more than one line within the limit.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr int LargestLimit = 64;
    FuzzedDataProvider input(data, size);
    const int limit = input.ConsumeIntegralInRange(1, LargestLimit);
    LineFramer framer(limit);
    QByteArray stream;
    QList<QByteArray> lines;
    while (input.remaining_bytes() > 0) {
        const QByteArray segment = fuzzBytes(input.ConsumeRandomLengthString());
        stream += segment;
        framer.append(segment);
        QByteArray line;
        while (framer.takeLine(line))
            lines << line;
        FUZZ_CHECK(!framer.hasLine() && framer.bufferedBytes() <= limit);
    }

    QList<QByteArray> wholeLines = stream.split('\n');
    const QByteArray tail = wholeLines.takeLast();
    QList<QByteArray> kept;
    QList<qint64> dropped;
    for (QByteArray &line : wholeLines) {
        if (line.size() > limit) {
            dropped << line.size();
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        kept << line;
    }
    FUZZ_CHECK(lines == kept);
    FUZZ_CHECK(framer.takeDroppedLines() == dropped);
    FUZZ_CHECK(framer.bufferedBytes() == (tail.size() > limit ? 0 : tail.size()));
    return 0;
}
