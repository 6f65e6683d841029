#pragma once

#include <chrono>

namespace pelvaro::bench {

// The wall-clock seconds the work takes.
template <typename Work> double secondsFor(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace pelvaro::bench
