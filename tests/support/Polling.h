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

// Asks again every few milliseconds until the answer is there (converts to
// true) or time is up; returns the last answer.
template <typename Probe> auto waitFor(Probe probe, std::chrono::milliseconds timeout = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto answer = probe();
    while (!answer && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        answer = probe();
    }
    return answer;
}

} // namespace pelvaro::test
