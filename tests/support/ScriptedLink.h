#pragma once

#include "reader/ByteLink.h"
#include "reader/ReaderProtocol.h"

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace pelvaro::test {

// A serial line in memory: reads take the queued bytes and time out when too
// few are left (silence), writes are recorded.
class ScriptedLink final : public ByteLink {
public:
    void queue(const std::vector<uint8_t>& bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }

    ReadOutcome read(uint8_t* buffer, size_t count) override {
        if (incoming.size() < count)
            return ReadOutcome::TimedOut;
        for (size_t i = 0; i < count; ++i) {
            buffer[i] = incoming.front();
            incoming.pop_front();
        }
        return ReadOutcome::Complete;
    }
    bool write(const uint8_t* buffer, size_t count) override {
        written.insert(written.end(), buffer, buffer + count);
        return true;
    }

    std::deque<uint8_t> incoming;
    std::vector<uint8_t> written;
};

// Decoding settings held in the test; every stored code is kept.
class RecordingBinding final : public DecodeBinding {
public:
    int cardLength() const override { return length; }
    bool hitagInverse() const override { return hitag; }
    void storeCode(std::string_view code) override { codes.emplace_back(code); }

    int length = 10;
    bool hitag = true;
    std::vector<std::string> codes;
};

} // namespace pelvaro::test
