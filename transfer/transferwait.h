#pragma once

#include <QTimer>

#include <functional>

// How the transfer channel waits: asleep in the event loop until something happens, and at the
// latest after TransferLimits::PollMs, so that time limits and stop requests are looked at often
// while the window stays live and an idle wait costs next to no CPU.
class TransferWait
{
public:
    TransferWait();

    // Handles the events that come, sleeping until there is at least one.
    void sleep();
    // Handles the events already pending and returns at once.
    static void pass();
    // Runs work on a thread of its own, sleeping in the event loop until it has ended: for a call
    // that may block for long, such as a flush to a disk still taking an image.
    static void aside(const std::function<void()> &work);

private:
    QTimer tick;
};
