#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace pelvaro {

// An event waiting in the outbox for one target.
struct QueuedEvent {
    int64_t seq;      // the outbox's order
    std::string id;   // the event's id
    std::string json; // the event as sent
};

// What a target made of one attempt to send.
struct SendResult {
    enum class Kind {
        Delivered,     // every event was taken
        Rejected,      // the server refused the events for what they are; never sent again on their own
        Retry,         // the network, a time-out or a busy server: try again later
        Misconfigured, // the target refuses this sender (address, credentials): pause and say why
    };
    Kind kind = Kind::Retry;
    // With Retry: how many events, from the first, were taken all the same.
    size_t taken = 0;
    // For the user, in German; with Rejected the server's own reason.
    std::string reason;
    // The pause the server asked for (Retry-After).
    std::optional<std::chrono::seconds> retryAfter;
};

// How to reach one target.
struct SenderSettings {
    std::string url;                        // http://, https://, mqtt:// or mqtts://
    std::string secret;                     // HTTP: the Authorization value; MQTT: the password
    std::filesystem::path caFile;           // empty: the system's trust store
    std::filesystem::path clientCertificate; // MQTT over TLS only, optional, PEM
    std::filesystem::path clientKey;         // its key, PEM
    std::string host;                       // this computer's name: MQTT's default topic
    std::string clientId;                   // stable across runs: MQTT's persistent session
    std::chrono::milliseconds timeout{10000};
};

// One target's way out. Used by one delivery thread only, except interrupt.
class Sender {
public:
    virtual ~Sender() = default;
    // Sends the events, oldest first, and returns once each was taken or the
    // attempt failed; never longer than the settings' time-out.
    virtual SendResult send(std::span<const QueuedEvent> events) = 0;
    // Connects and authenticates without sending a read.
    virtual SendResult check() = 0;
    // From another thread: a send or check in progress ends soon, as Retry.
    virtual void interrupt() = 0;
};

} // namespace pelvaro
