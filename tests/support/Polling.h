#pragma once

#include <chrono>
#include <thread>

namespace pelvaro::test {

// Asks again every few milliseconds until the answer is there (converts to
// true) or time is up; returns the last answer.
template <typename Probe> auto waitFor(Probe probe, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto answer = probe();
    while (!answer && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        answer = probe();
    }
    return answer;
}

} // namespace pelvaro::test
