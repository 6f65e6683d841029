#pragma once

#include "reader/ReaderProtocol.h"
#include "reader/T_Serial_Interface.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <chrono>
#include <future>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace pelvaro {

namespace sim {
inline void PrintTo(const SendOutcome& outcome, std::ostream* out) {
    *out << "{acknowledged " << outcome.acknowledged << ", transmissions " << outcome.transmissions
         << ", naks " << outcome.naks << "}";
}
} // namespace sim

namespace test {

class RecordingBinding final : public DecodeBinding {
public:
    int cardLength() const override { return 0; }
    bool hitagInverse() const override { return false; }
    void storeCode(std::string_view code) override { codes.emplace_back(code); }

    std::vector<std::string> codes;
};

// The program's end of the line: its serial port and protocol engine, driven
// pass by pass as its read loop does.
struct ProgramSide {
    explicit ProgramSide(PortMap ports = PortMap()) : port(false, std::move(ports)) {}

    PassResult pass() {
        const PassResult result = protocol.receivePass();
        protocol.reset();
        return result;
    }

    // Reads while the simulator sends on a thread of its own, as reader and
    // program run side by side; returns the simulator's outcome.
    template <typename Send> sim::SendOutcome whileSending(Send send) {
        auto sending = std::async(std::launch::async, send);
        while (sending.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            pass();
        return sending.get();
    }

    T_Serial_Interface port;
    RecordingBinding binding;
    ReaderProtocol protocol{port, binding};
};

} // namespace test
} // namespace pelvaro
