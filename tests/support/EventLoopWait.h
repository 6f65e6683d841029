#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace pelvaro::test {

// Serves the event loop until the condition holds; false after the time-out.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace pelvaro::test
