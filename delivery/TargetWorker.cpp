#include "delivery/TargetWorker.h"

#include "delivery/Outbox.h"

#include <QRandomGenerator>
#include <algorithm>

namespace pelvaro {

namespace {

class SteadyClock : public RetryClock {
public:
    void pause(std::chrono::milliseconds length, std::condition_variable& condition,
               std::unique_lock<std::mutex>& lock, const std::function<bool()>& stopping) override {
        condition.wait_for(lock, length, stopping);
    }
};

std::vector<int64_t> seqsOf(std::span<const QueuedEvent> events) {
    std::vector<int64_t> seqs;
    for (const QueuedEvent& event : events)
        seqs.push_back(event.seq);
    return seqs;
}

} // namespace

TargetWorker::TargetWorker(Outbox& outbox, std::string target, std::unique_ptr<Sender> sender,
                           size_t perSend, RetryTiming timing, std::shared_ptr<RetryClock> clock)
    : outbox_(outbox), target_(std::move(target)), sender_(std::move(sender)),
      perSend_(std::max<size_t>(perSend, 1)), timing_(timing),
      clock_(clock ? std::move(clock) : std::make_shared<SteadyClock>()),
      thread_([this] { run(); }) {}

TargetWorker::~TargetWorker() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    condition_.notify_all();
    // An interrupt that came before the send began would be missed: repeat it until the thread
    // ends.
    while (!ended_) {
        lock.unlock();
        sender_->interrupt();
        lock.lock();
        condition_.wait_for(lock, std::chrono::milliseconds(20), [this] { return ended_; });
    }
    lock.unlock();
    thread_.join();
}

void TargetWorker::wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    condition_.notify_all();
}

TargetState TargetWorker::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void TargetWorker::run() {
    bool more = false;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            condition_.wait(lock, [&] { return more || woken_ || stopping_; });
            if (stopping_)
                break;
            woken_ = false;
        }
        std::vector<QueuedEvent> events =
            outbox_.next(target_, oneByOneThrough_ < 0 ? perSend_ : 1);
        if (!events.empty() && events.front().seq > oneByOneThrough_ && oneByOneThrough_ >= 0) {
            oneByOneThrough_ = -1;
            events = outbox_.next(target_, perSend_);
        }
        more = !events.empty();
        if (more)
            attempt(events);
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    condition_.notify_all();
}

void TargetWorker::attempt(const std::vector<QueuedEvent>& events) {
    const SendResult result = sender_->send(events);
    switch (result.kind) {
    case SendResult::Kind::Delivered:
        recordOutcome(outbox_.delivered(target_, seqsOf(events)), false);
        break;
    case SendResult::Kind::Retry: {
        const size_t taken = std::min(result.taken, events.size());
        if (taken > 0) {
            failures_ = 0;
            if (auto error = outbox_.delivered(target_, seqsOf(std::span(events).first(taken))))
                return failed(*error, std::nullopt);
        }
        failed(result.reason, result.retryAfter);
        break;
    }
    case SendResult::Kind::Rejected:
        if (events.size() > 1) {
            // One of them is refused: find it, the others go on.
            oneByOneThrough_ = events.back().seq;
            break;
        }
        recordOutcome(outbox_.setAside(target_, events.front().seq, result.reason), false);
        break;
    case SendResult::Kind::Misconfigured:
        recordOutcome(result.reason, true);
        pause(timing_.whilePaused);
        break;
    }
}

// After a send the target answered: back-off starts afresh unless the outbox could not note it.
void TargetWorker::recordOutcome(std::optional<std::string> error, bool paused) {
    if (error && !paused)
        return failed(*error, std::nullopt);
    failures_ = 0;
    std::lock_guard lock(mutex_);
    state_.lastError = error.value_or(std::string());
    state_.paused = paused;
}

void TargetWorker::failed(const std::string& reason,
                          std::optional<std::chrono::seconds> retryAfter) {
    {
        std::lock_guard lock(mutex_);
        state_.lastError = reason;
        state_.paused = false;
    }
    ++failures_;
    std::chrono::milliseconds wait;
    if (retryAfter) {
        wait = std::clamp<std::chrono::milliseconds>(*retryAfter, timing_.firstRetry,
                                                     timing_.longestRetryAfter);
    } else {
        // Doubling up to the longest, then between half and all of it, so that
        // many computers coming back after an outage do not all come at once.
        const int doublings = std::min(failures_ - 1, 30);
        const auto full =
            std::min(timing_.firstRetry * (int64_t{1} << doublings), timing_.longestRetry);
        const double share = 0.5 + 0.5 * QRandomGenerator::global()->generateDouble();
        wait = std::chrono::milliseconds(
            static_cast<int64_t>(static_cast<double>(full.count()) * share));
    }
    pause(wait);
}

void TargetWorker::pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex_);
    clock_->pause(length, condition_, lock, [this] { return stopping_; });
}

} // namespace pelvaro
