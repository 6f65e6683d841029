#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace pelvaro::test {

// Generous: a loaded machine may take seconds to start a program or an X
// client; a passing test takes a fraction of it.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(15);

// The time until the deadline, none once it has passed.
inline std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline) {
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()),
                    std::chrono::milliseconds(0));
}

// Asks again until the answer is there (converts to true) or time is up,
// doing betweenTries (given the time left) in between; returns the last answer.
template <typename Probe, typename Between>
auto pollUntil(Probe probe, Between betweenTries, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto answer = probe();
    while (!answer && timeLeft(deadline).count() > 0) {
        betweenTries(timeLeft(deadline));
        answer = probe();
    }
    return answer;
}

// Asks again every interval until the answer is there or time is up.
template <typename Probe>
auto pollEvery(Probe probe, std::chrono::milliseconds interval, std::chrono::milliseconds timeout) {
    return pollUntil(
        probe,
        [interval](std::chrono::milliseconds left) {
            std::this_thread::sleep_for(std::min(left, interval));
        },
        timeout);
}

// Polls every few milliseconds, for conditions that other processes or
// threads bring about.
template <typename Probe> auto waitFor(Probe probe, std::chrono::milliseconds timeout = kPatience) {
    return pollEvery(probe, std::chrono::milliseconds(20), timeout);
}

} // namespace pelvaro::test
