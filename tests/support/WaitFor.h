#pragma once

#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Polls until the condition holds or the time is up (a bound against a hang, never a fixed
// sleep and never a measure); true when it held.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
