#pragma once

#include "delivery/Sender.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pelvaro {

class Outbox;

// How long a target's thread waits before it tries again.
struct RetryTiming {
    std::chrono::milliseconds firstRetry{1000}; // doubled after each failure…
    std::chrono::milliseconds longestRetry{std::chrono::minutes(5)}; // …up to this
    std::chrono::milliseconds whilePaused{std::chrono::minutes(3)};  // a target that refuses us
    std::chrono::milliseconds longestRetryAfter{
        std::chrono::hours(1)}; // bounds a server's Retry-After
};

// How a target's thread waits between attempts: the real clock, or a test's own.
class RetryClock {
public:
    virtual ~RetryClock() = default;
    // Waits for the pause, on the condition with the lock held, ending early
    // once stopping() is true.
    virtual void pause(std::chrono::milliseconds length, std::condition_variable& condition,
                       std::unique_lock<std::mutex>& lock,
                       const std::function<bool()>& stopping) = 0;
};

// What the user is told of one target beyond the outbox's counts.
struct TargetState {
    std::string lastError; // empty once an attempt succeeds
    bool paused = false;   // the target refuses us: tried again every few minutes
};

// One target's thread: sends what waits for it in the outbox, oldest first,
// up to perSend events at a time, retrying with back-off; a refused batch is
// sent one event at a time to set aside only the refused one.
class TargetWorker {
public:
    TargetWorker(Outbox& outbox, std::string target, std::unique_ptr<Sender> sender, size_t perSend,
                 RetryTiming timing = {}, std::shared_ptr<RetryClock> clock = nullptr);
    // Stops at once, a send in progress interrupted; what waits stays in the outbox.
    ~TargetWorker();
    TargetWorker(const TargetWorker&) = delete;
    TargetWorker& operator=(const TargetWorker&) = delete;

    // An event was offered.
    void wake();
    TargetState state() const;

private:
    void run();
    // Sends the events and deals with the answer, pausing as it says.
    void attempt(const std::vector<QueuedEvent>& events);
    void recordOutcome(std::optional<std::string> error, bool paused);
    void failed(const std::string& reason, std::optional<std::chrono::seconds> retryAfter);
    void pause(std::chrono::milliseconds length);

    Outbox& outbox_;
    const std::string target_;
    const std::unique_ptr<Sender> sender_;
    const size_t perSend_;
    const RetryTiming timing_;
    const std::shared_ptr<RetryClock> clock_;

    mutable std::mutex mutex_;
    std::condition_variable condition_;
    bool woken_ = true; // at the start: what an earlier run left
    bool stopping_ = false;
    bool ended_ = false;
    TargetState state_;

    // Only the thread's own.
    int failures_ = 0;
    int64_t oneByOneThrough_ = -1; // after a refused batch: its events one at a time, up to this

    std::thread thread_;
};

} // namespace pelvaro
