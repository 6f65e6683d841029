#pragma once

#include <cstddef>
#include <cstdint>

namespace pelvaro {

// The two things the link protocol needs of a serial line: a read that gives
// up after the line's read time-out, and a write.
class ByteLink {
public:
    virtual ~ByteLink() = default;
    // True only if exactly count bytes arrived within the line's time-outs.
    virtual bool read(uint8_t* buffer, size_t count) = 0;
    // True only if all count bytes were written.
    virtual bool write(const uint8_t* buffer, size_t count) = 0;
};

} // namespace pelvaro
