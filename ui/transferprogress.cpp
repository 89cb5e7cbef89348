#include "ui/transferprogress.h"

#include <QCoreApplication>

namespace {
constexpr double BytesPerMegabyte = 1e6;
constexpr double MillisecondsPerSecond = 1e3;

QString megabytes(double value)
{
    return QString::number(value, 'f', 1);
}
} // namespace

int transferProgressStep(qint64 done, qint64 total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return TransferProgressSteps;
    // In double: done * steps would overflow qint64 for the largest totals.
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) *
                            TransferProgressSteps);
}

QString transferProgressText(qint64 done, qint64 total, qint64 movedBytes, qint64 elapsedMs)
{
    const double rate = elapsedMs > 0
                            ? static_cast<double>(qMax<qint64>(movedBytes, 0)) / BytesPerMegabyte /
                                  (static_cast<double>(elapsedMs) / MillisecondsPerSecond)
                            : 0.0;
    const QString doneText = megabytes(static_cast<double>(done) / BytesPerMegabyte);
    const QString rateText = megabytes(rate);
    if (total > 0)
        return QCoreApplication::translate("MainWindow", "%1 / %2 MB, %3 MB/s")
            .arg(doneText, megabytes(static_cast<double>(total) / BytesPerMegabyte), rateText);
    return QCoreApplication::translate("MainWindow", "%1 MB, %2 MB/s").arg(doneText, rateText);
}
