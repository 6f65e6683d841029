#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pelvaro {

// One received frame after removal of doubled DLEs: address, command letter,
// sub-code, data, DLE, ETX and the two check characters (data length + 7).
class ReaderFrame {
public:
    static constexpr size_t kOverhead = 7;

    ReaderFrame(const uint8_t* bytes, size_t length) : bytes_(bytes, length) {}

    std::span<const uint8_t> bytes() const { return bytes_; }
    size_t length() const { return bytes_.size(); }
    // A frame always holds at least DLE ETX and the check characters, so the
    // command letter and sub-code positions lie inside it.
    uint8_t command() const { return byteAt(1); }
    uint8_t subCode() const { return byteAt(2); }
    bool hasDataField() const { return length() >= kOverhead; }
    std::span<const uint8_t> data() const {
        return hasDataField() ? bytes_.subspan(3, length() - kOverhead)
                              : std::span<const uint8_t>();
    }
    uint8_t byteAt(size_t offset) const { return offset < length() ? bytes_[offset] : 0; }

private:
    std::span<const uint8_t> bytes_;
};

} // namespace pelvaro
