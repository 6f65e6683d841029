#pragma once

#include "delivery/ReadEvent.h"
#include "delivery/Sender.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelvaro {

class SqliteLibrary;

// The reads on their way to the targets: an SQLite file of its own, each
// change a committed transaction that survives a crash or a power cut. Each
// target takes every event, in order, on its own; an event leaves the file
// once every target has it or set it aside (a copy of what was set aside
// stays, with the reason). Events for a target no longer configured stay,
// uncounted, until it is configured again. One process owns the file at a
// time. Safe to use from several threads.
class Outbox {
public:
    static constexpr size_t kDefaultMostQueued = 100000;

    // Opens or makes the file for these targets (their URLs). Events stored
    // but never offered (the program ended in between) are offered now, not
    // knowing whether they were typed. A file owned by another process, or one
    // that cannot be opened, gives the reason in German.
    static std::variant<std::unique_ptr<Outbox>, std::string>
    open(std::shared_ptr<const SqliteLibrary> sqlite, const std::filesystem::path& file,
         std::vector<std::string> targets, size_t mostQueued = kDefaultMostQueued);
    ~Outbox();

    // Stores the read for every target, not offered yet: its number, or why
    // it could not be stored (the outbox is full, the disk is full).
    std::variant<int64_t, std::string> store(const ReadEvent& event);
    // The read as it ends up (typed filled in): from now on it is offered.
    // The reason in German when that cannot be written.
    std::optional<std::string> offer(int64_t seq, const ReadEvent& event);

    // Up to count offered events waiting for the target, oldest first;
    // events set aside for it are not among them.
    std::vector<QueuedEvent> next(std::string_view target, size_t count);
    std::optional<std::string> delivered(std::string_view target, std::span<const int64_t> seqs);
    // Kept with the server's reason, never sent to the target on its own again.
    std::optional<std::string> setAside(std::string_view target, int64_t seq, std::string_view reason);

    // Events still to go to a target, set-aside ones not counted.
    size_t waiting() const;
    size_t waiting(std::string_view target) const;
    size_t setAsideCount(std::string_view target) const;
    // The reason given for the event the target set aside last; empty for none.
    std::string lastRejection(std::string_view target) const;
    // Events taken by a target since local midnight, each target counting.
    size_t deliveredToday() const;

private:
    struct Connection;
    explicit Outbox(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

} // namespace pelvaro
