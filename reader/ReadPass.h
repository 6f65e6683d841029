#pragma once

#include "reader/ReaderProtocol.h"

#include <chrono>
#include <cstdint>

namespace pelvaro {

// The pause before every receive pass of a read session, which keeps a
// polling session from hogging the line and the processor.
inline constexpr std::chrono::milliseconds kPauseBeforePass{10};

// What one poll of a read session brought.
struct ReadPassResult {
    bool frameReceived = false;       // the pass decoded a frame
    uint8_t message = message::kNone; // kTransponderCode, kStatusClear or kNone
};

// Prepares the engine for a new session on a freshly opened and flushed port.
void beginReadSession(ReaderProtocol& engine);

// One poll of a read session: the pause, one receive pass and a reset. The
// engine's last message is handed over in the result and cleared, so every
// message is acted on once.
ReadPassResult runReadPass(ReaderProtocol& engine,
                           std::chrono::milliseconds pause = kPauseBeforePass);

} // namespace pelvaro
