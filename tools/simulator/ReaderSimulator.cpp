#include "tools/simulator/ReaderSimulator.h"

#include "settings/PortSettings.h"
#include "tools/simulator/LineService.h"
#include "tools/simulator/SimulatorFrames.h"

#include <array>
#include <thread>
#include <utility>

namespace pelvaro::sim {

namespace {

// Noise for Fault::Garbage: never DLE, so it cannot start anything.
constexpr std::array<uint8_t, 5> kNoise = {0x00, 0x55, 0xFF, 0x31, 0x7E};

// After a cut-off frame the line stays silent well beyond the program's 51 ms
// read time-out, so that it drops the partial frame before the next one comes.
constexpr auto kSilenceAfterCutOff = std::chrono::milliseconds(150);

} // namespace

struct ReaderSimulator::State {
    SimulatorState shared;
    LineService service{shared}; // declared last: stopped before the line closes

    void clearAnswer() {
        std::lock_guard lock(shared.mutex);
        shared.answer = 0;
    }

    // The program's answer to the last transmission: DLE ACK, DLE NAK, or 0
    // if none came within the acknowledgement time-out.
    uint8_t awaitAnswer() {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait_for(lock, shared.acknowledgementTimeout,
                                [this] { return shared.answer != 0 || shared.hungUp; });
        return std::exchange(shared.answer, 0);
    }

    template <typename T> T read(T SimulatorState::*member) {
        std::lock_guard lock(shared.mutex);
        return shared.*member;
    }

    template <typename T> void assign(T SimulatorState::*member, T value) {
        std::lock_guard lock(shared.mutex);
        shared.*member = std::move(value);
    }
};

ReaderSimulator::ReaderSimulator() : state_(std::make_unique<State>()) {}

ReaderSimulator::~ReaderSimulator() = default;

const std::string& ReaderSimulator::devicePath() const {
    return state_->shared.line.slavePath();
}

bool ReaderSimulator::mapAsPort(const std::filesystem::path& settingsFile, int portNumber) const {
    return writePortMapping(settingsFile, portNumber, devicePath());
}

SendOutcome ReaderSimulator::sendCard(std::span<const uint8_t> data, uint8_t subCode, Fault fault) {
    return sendFrame(cardContent(subCode, {data.begin(), data.end()}), fault);
}

SendOutcome ReaderSimulator::sendStatus(uint8_t letter, uint8_t subCode, Fault fault) {
    const std::array<uint8_t, 3> content = {kAddressCharacter, letter, subCode};
    return sendFrame(content, fault);
}

SendOutcome ReaderSimulator::sendFrame(std::span<const uint8_t> content, Fault fault) {
    auto& shared = state_->shared;
    const auto frame = readerFrame(content);
    SendOutcome outcome;
    if (fault == Fault::CutOff) {
        if (shared.write(std::span(frame).first(frame.size() / 2), true))
            outcome.transmissions = 1;
        std::this_thread::sleep_for(kSilenceAfterCutOff);
        return outcome;
    }
    const auto wrongFrame = withWrongCheck(frame);
    for (int attempt = 0; attempt <= kMaxRepetitions; ++attempt) {
        const bool wrong =
            fault == Fault::AlwaysBadCheck || (fault == Fault::BadCheck && attempt == 0);
        // A late answer to an earlier transmission must not count for this one.
        state_->clearAnswer();
        if (fault == Fault::Garbage && attempt == 0)
            shared.write(kNoise, false);
        if (!shared.write(wrong ? wrongFrame : frame, true))
            break;
        ++outcome.transmissions;
        const uint8_t answer = state_->awaitAnswer();
        if (answer == control::ACK)
            outcome.acknowledged = true;
        if (answer != control::NAK)
            break;
        ++outcome.naks;
    }
    return outcome;
}

void ReaderSimulator::sendRaw(std::span<const uint8_t> bytes) {
    state_->shared.write(bytes, true);
}

void ReaderSimulator::hangUp() {
    auto& shared = state_->shared;
    {
        std::lock_guard lock(shared.mutex);
        if (std::exchange(shared.hungUp, true))
            return;
    }
    shared.changed.notify_all();
    state_->service.stop(); // it reads the master, so it ends before the line closes
    shared.closeLine();
}

void ReaderSimulator::setAcknowledgementTimeout(std::chrono::milliseconds timeout) {
    state_->assign(&SimulatorState::acknowledgementTimeout, timeout);
}

void ReaderSimulator::setHardwareInfo(const HardwareInfo& info) {
    state_->assign(&SimulatorState::hardware, info);
}

void ReaderSimulator::setAnswerRequests(bool answer) {
    state_->assign(&SimulatorState::answerRequests, answer);
}

void ReaderSimulator::setRequestObserver(RequestObserver observer) {
    state_->assign(&SimulatorState::observer, std::move(observer));
}

bool ReaderSimulator::waitForProgram(std::chrono::milliseconds timeout) {
    auto& shared = state_->shared;
    std::unique_lock lock(shared.mutex);
    return shared.changed.wait_for(lock, timeout, [&] { return shared.openings > 0; });
}

int ReaderSimulator::acknowledgementsReceived() const {
    return state_->read(&SimulatorState::acknowledgements);
}

int ReaderSimulator::negativeAcknowledgementsReceived() const {
    return state_->read(&SimulatorState::negativeAcknowledgements);
}

int ReaderSimulator::requestsReceived() const {
    return state_->read(&SimulatorState::requests);
}

std::vector<uint8_t> ReaderSimulator::lastRequestPayload() const {
    return state_->read(&SimulatorState::lastRequest);
}

std::chrono::steady_clock::time_point ReaderSimulator::lastWriteTime() const {
    return state_->read(&SimulatorState::lastWrite);
}

} // namespace pelvaro::sim
