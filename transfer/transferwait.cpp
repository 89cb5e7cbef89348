#include "transfer/transferwait.h"

#include "transfer/transferlimits.h"

#include <QCoreApplication>

TransferWait::TransferWait()
{
    tick.setInterval(TransferLimits::PollMs);
}

void TransferWait::sleep()
{
    if (!tick.isActive())
        tick.start();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TransferWait::pass()
{
    QCoreApplication::processEvents();
}
