#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro::sim {

// The reader's answer to the hardware query 'H': platform, RFID technology,
// keyboard and IO box codes.
struct HardwareInfo {
    uint8_t platform = 1;
    uint8_t rfidTechnology = 1;
    uint8_t keyboard = 1;
    uint8_t ioBox = 0;
};

// Faults the simulated reader can put on the line for one frame.
enum class Fault {
    None,
    BadCheck,       // the first transmission carries a wrong block check; its repetition is right
    AlwaysBadCheck, // every transmission carries a wrong block check
    Garbage,        // noise bytes (never DLE) on the line before the frame
    CutOff,         // only the first half of the frame is sent, then the line falls silent (150 ms)
};

// How the program answered one frame.
struct SendOutcome {
    bool acknowledged = false; // the last transmission was answered with DLE ACK
    int transmissions = 0;     // 1 + repetitions after DLE NAK (at most 3 repetitions)
    int naks = 0;              // DLE NAK answers received for this frame

    bool operator==(const SendOutcome&) const = default;
};

// A transponder reader on a pseudo-terminal. The program under test opens the
// slave side (devicePath()) as its serial port; the simulator holds the master
// side. A service thread reads everything the program sends: it records DLE ACK
// and DLE NAK, acknowledges request frames with DLE ACK and answers the
// hardware query 'H' with a reply frame.
class ReaderSimulator {
public:
    static constexpr uint8_t kAddressCharacter = '1';
    static constexpr int kMaxRepetitions = 3;

    // Called on the simulator's service thread for every valid request frame,
    // with its payload and whether the simulator acknowledged it. It must not
    // call hangUp.
    using RequestObserver = std::function<void(std::span<const uint8_t> payload, bool answered)>;

    ReaderSimulator(); // throws std::runtime_error if no pseudo-terminal can be had
    ~ReaderSimulator();
    ReaderSimulator(const ReaderSimulator&) = delete;
    ReaderSimulator& operator=(const ReaderSimulator&) = delete;

    // Path of the slave side, for example /dev/pts/7.
    const std::string& devicePath() const;
    // Writes "ComN=<devicePath>" into the [Ports] section of a settings file.
    bool mapAsPort(const std::filesystem::path& settingsFile, int portNumber) const;

    // A transponder message 'a' with the sub-code and the data bytes (every
    // DLE doubled, correct block check unless a fault says otherwise). Waits
    // up to the acknowledgement time-out for the program's answer and repeats
    // a frame answered with DLE NAK.
    SendOutcome sendCard(std::span<const uint8_t> data, uint8_t subCode = 1,
                         Fault fault = Fault::None);
    // A status message 'e', 'i', 'k' or 's' with its sub-code.
    SendOutcome sendStatus(uint8_t letter, uint8_t subCode = '2', Fault fault = Fault::None);
    // Any frame: content is the address character followed by the message.
    SendOutcome sendFrame(std::span<const uint8_t> content, Fault fault = Fault::None);
    // Bytes exactly as given, without framing or waiting.
    void sendRaw(std::span<const uint8_t> bytes);
    // The line goes away: both sides held here are closed, so the program's
    // handle sees a hang-up. Later sends do nothing.
    void hangUp();

    void setAcknowledgementTimeout(std::chrono::milliseconds timeout);
    void setHardwareInfo(const HardwareInfo& info);
    // When false the simulator neither acknowledges nor answers requests.
    void setAnswerRequests(bool answer);
    void setRequestObserver(RequestObserver observer);

    // Waits until the program has opened the line at least once, seen by the
    // emptying of the line's queues that opening does; false after the time-out.
    bool waitForProgram(std::chrono::milliseconds timeout);

    // What the program has sent so far.
    int acknowledgementsReceived() const;         // DLE ACK
    int negativeAcknowledgementsReceived() const; // DLE NAK
    int requestsReceived() const;                 // valid request frames
    // Payload (after the address character) of the last valid request frame.
    std::vector<uint8_t> lastRequestPayload() const;
    // When the last byte of the last frame (or raw bytes) left the simulator.
    std::chrono::steady_clock::time_point lastWriteTime() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The bytes of a hexadecimal text ("123456789A"); empty if it is not one.
std::vector<uint8_t> bytesFromHex(std::string_view hex);

} // namespace pelvaro::sim
