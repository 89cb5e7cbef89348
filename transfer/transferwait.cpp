#include "transfer/transferwait.h"

#include "transfer/transferlimits.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>

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

void TransferWait::aside(const std::function<void()> &work)
{
    std::atomic<bool> ended{false};
    QAbstractEventDispatcher *const waiter = QAbstractEventDispatcher::instance();
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        work();
        ended.store(true);
        if (waiter)
            waiter->wakeUp();
    }));
    thread->start();
    TransferWait wait;
    while (!ended.load())
        wait.sleep();
    thread->wait();
}
