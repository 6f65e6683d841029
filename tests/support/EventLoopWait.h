#pragma once

#include "tests/support/Polling.h"

#include <QCoreApplication>

namespace pelvaro::test {

// Serves the event loop until the condition holds; false after the time-out.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = kPatience) {
    return pollUntil(
        condition,
        [](std::chrono::milliseconds left) {
            QCoreApplication::processEvents(
                QEventLoop::AllEvents, static_cast<int>(std::min<long long>(left.count(), 10)));
        },
        timeout);
}

// Serves the event loop for a while, for what must not happen meanwhile.
inline void serveEventsFor(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}

} // namespace pelvaro::test
