#pragma once

#include <cstddef>
#include <cstdint>

namespace pelvaro {

// What a read of the line came to.
enum class ReadOutcome {
    Complete, // every byte asked for arrived
    TimedOut, // the line's time-out passed first: silence, or too few bytes
    Failed,   // the port is not open, or the system refused the read
    LineLost, // the device went away: unplugged, or the far end hung up
};

// The two things the link protocol needs of a serial line: a read that gives
// up after the line's read time-out, and a write.
class ByteLink {
public:
    virtual ~ByteLink() = default;
    virtual ReadOutcome read(uint8_t* buffer, size_t count) = 0;
    // True only if all count bytes were written.
    virtual bool write(const uint8_t* buffer, size_t count) = 0;
};

} // namespace pelvaro
