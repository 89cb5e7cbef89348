#include "fuzzcheck.h"
#include "tools/machine/imagestreamparser.h"
#include "tools/machine/restorerun.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <limits>

// A dispatched stream in pieces of any size, against the capacity that the dispatch command named:
// the simulated machine takes what belongs to the image, and its restore run stays in range.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const qint64 capacity =
        input.ConsumeIntegralInRange<qint64>(0, std::numeric_limits<qint64>::max());
    ImageStreamParser parser;
    qint64 taken = 0;
    while (input.remaining_bytes() > 0) {
        const std::string piece = input.ConsumeRandomLengthString();
        const qint64 used = parser.feed(piece.data(), qint64(piece.size()));
        FUZZ_CHECK(0 <= used && used <= qint64(piece.size()));
        FUZZ_CHECK(used == qint64(piece.size()) || parser.isDone() || parser.isFailed());
        taken += used;
        FUZZ_CHECK(parser.bytes() == taken && parser.position() >= 0);
        const int percent = RestoreRun::percentOf(parser.position(), capacity);
        FUZZ_CHECK(0 <= percent && percent <= 100);
    }
    FUZZ_CHECK(RestoreRun::percentOf(capacity, capacity) == 100);
    return 0;
}
