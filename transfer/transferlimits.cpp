#include "transfer/transferlimits.h"

namespace {
int gMsPerSecond = TransferLimits::ProductionMsPerSecond;
}

int TransferLimits::msPerSecond()
{
    return gMsPerSecond;
}

void TransferLimits::setMsPerSecond(int ms)
{
    gMsPerSecond = ms;
}
