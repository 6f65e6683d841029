#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace pelvaro {

// The block the main window shares with the read thread: the decoding
// settings the thread formats with, and the code it read last.
struct ReadResult {
    static constexpr size_t kCodeSize = 50;

    bool hitagInverse = true;
    // Set by the GUI thread before the thread starts, cleared by the thread.
    std::atomic<bool> hideOnStart{false};
    int32_t cardLength = 10;
    std::array<char, kCodeSize> code{};
};

} // namespace pelvaro
