#pragma once

#include "delivery/ReadEvent.h"
#include "delivery/Sender.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pelvaro {

class SqliteLibrary;

// What the user is told of delivery.
struct DeliveryStatus {
    struct Target {
        std::string url;
        size_t waiting = 0;
        size_t rejected = 0;
        std::string lastRejection; // the server's reason for the last event set aside
        std::string lastError;     // why the last attempt failed; empty once one succeeds
        bool paused = false;       // the target refuses us: tried again every few minutes
    };
    size_t waiting = 0;        // reads not yet at every target
    size_t deliveredToday = 0; // events taken by a target since local midnight
    std::vector<Target> targets;
};

struct DeliveryOptions {
    std::vector<SenderSettings> targets; // url, secret, CA file, … of each
    size_t batch = 1;                    // events per HTTP request while a backlog drains
    size_t mostQueued = 100000;
};

// A target's way out, and how many events it takes in one send.
struct TargetSender {
    std::unique_ptr<Sender> sender;
    size_t perSend = 1;
};

// Makes the way out for a target (batch: DeliveryOptions::batch); the reason
// in German when its URL is none it knows.
using SenderFactory = std::function<std::variant<TargetSender, std::string>(
    const SenderSettings& target, size_t batch)>;

// Every read delivered to every target, at least once, through an outbox on
// disk: a thread per target sends what waits, retries with back-off, and
// never holds up the reader, the typing or the window.
class DeliveryService {
public:
    // Opens the outbox and starts the targets' threads; the reason in German
    // when it cannot (another process owns the outbox, no SQLite, a target
    // that is no http(s):// or mqtt(s):// URL).
    static std::variant<std::unique_ptr<DeliveryService>, std::string>
    start(std::shared_ptr<const SqliteLibrary> sqlite, const std::filesystem::path& outbox,
          DeliveryOptions options);
    // The same with the ways out another factory makes (tests, a tool of ours).
    static std::variant<std::unique_ptr<DeliveryService>, std::string>
    start(const SenderFactory& makeSender, std::shared_ptr<const SqliteLibrary> sqlite,
          const std::filesystem::path& outbox, DeliveryOptions options);
    // Stops the threads at once; what waits stays in the outbox.
    ~DeliveryService();

    // The read, stored before it is given out: its number, or why not.
    std::variant<int64_t, std::string> store(const ReadEvent& event);
    // The read as it ended up: offered to the targets.
    std::optional<std::string> offer(int64_t seq, const ReadEvent& event);

    DeliveryStatus status() const;

    // Connects and authenticates to the target without sending a read.
    static SendResult check(const SenderSettings& target);

private:
    struct Running;
    explicit DeliveryService(std::unique_ptr<Running> running);
    std::unique_ptr<Running> running_;
};

} // namespace pelvaro
