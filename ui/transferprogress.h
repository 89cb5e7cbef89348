#pragma once

#include <QString>
#include <QtGlobal>

// What the status bar shows of a running transfer: bytes in MB and the rate in MB/s
// (1 MB = 10^6 bytes), and the fraction done in steps of TransferProgressSteps.
constexpr int TransferProgressSteps = 1000;

// Steps done out of TransferProgressSteps; 0 while the total is unknown (0 or less).
int transferProgressStep(qint64 done, qint64 total);

// "12.5 / 100.0 MB, 48.2 MB/s", or without the total while it is unknown. The rate counts the
// bytes moved since the clock started; no rate is known before a millisecond has passed.
QString transferProgressText(qint64 done, qint64 total, qint64 movedBytes, qint64 elapsedMs);
