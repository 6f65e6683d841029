#include "delivery/TargetWorker.h"

#include "delivery/DeliveryService.h"
#include "tests/delivery/OutboxFixture.h"
#include "tests/support/Polling.h"

#include <atomic>
#include <cstdio>
#include <deque>

namespace pelvaro::test {
namespace {

using namespace std::chrono_literals;
using Kind = SendResult::Kind;

// A way out that answers as the test scripts it, Delivered once the script
// ends, and notes the codes of each send.
class ScriptedSender : public Sender {
public:
    using Answer = std::function<SendResult(std::span<const QueuedEvent>)>;

    explicit ScriptedSender(std::deque<SendResult> script = {}, Answer otherwise = {})
        : script_(std::move(script)), otherwise_(std::move(otherwise)) {}

    SendResult send(std::span<const QueuedEvent> events) override {
        std::unique_lock lock(mutex_);
        std::vector<std::string> codes;
        for (const QueuedEvent& event : events)
            codes.push_back(event.json.substr(event.json.find("\"code\":\"") + 8, 2));
        sends_.push_back(codes);
        if (hang_) {
            // A server that never answers, until interrupted.
            changed_.notify_all();
            changed_.wait(lock, [this] { return interrupted_; });
            return {Kind::Retry, 0, "unterbrochen", std::nullopt};
        }
        if (!script_.empty()) {
            SendResult next = script_.front();
            script_.pop_front();
            return next;
        }
        return otherwise_ ? otherwise_(events) : SendResult{Kind::Delivered, 0, {}, std::nullopt};
    }
    SendResult check() override { return {Kind::Delivered, 0, {}, std::nullopt}; }
    void interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }

    void hang() {
        std::lock_guard lock(mutex_);
        hang_ = true;
    }
    std::vector<std::vector<std::string>> sends() const {
        std::lock_guard lock(mutex_);
        return sends_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<SendResult> script_;
    Answer otherwise_;
    std::vector<std::vector<std::string>> sends_;
    bool hang_ = false;
    bool interrupted_ = false;
};

// Notes each pause and ends it at once, or holds it while the test looks.
class TestClock : public RetryClock {
public:
    void pause(std::chrono::milliseconds length, std::condition_variable& condition,
               std::unique_lock<std::mutex>& lock, const std::function<bool()>& stopping) override {
        {
            std::lock_guard noted(mutex_);
            pauses_.push_back(length);
        }
        while (held_ && !stopping())
            condition.wait_for(lock, 2ms);
    }
    std::vector<std::chrono::milliseconds> pauses() const {
        std::lock_guard lock(mutex_);
        return pauses_;
    }
    std::atomic<bool> held_ = false;

private:
    mutable std::mutex mutex_;
    std::vector<std::chrono::milliseconds> pauses_;
};

class TargetWorkerTest : public OutboxFixture {
protected:
    // The sender stays the test's to look at while the worker uses it.
    std::unique_ptr<TargetWorker> start(ScriptedSender*& sender, std::deque<SendResult> script,
                                        size_t perSend, ScriptedSender::Answer otherwise = {}) {
        auto owned = std::make_unique<ScriptedSender>(std::move(script), std::move(otherwise));
        sender = owned.get();
        return std::make_unique<TargetWorker>(*outbox, kTargetA, std::move(owned), perSend,
                                              RetryTiming{}, clock);
    }
    void readCodes(int count) {
        for (int i = 1; i <= count; ++i) {
            char code[12];
            std::snprintf(code, sizeof code, "%02d", i);
            read(*outbox, code);
        }
    }
    bool allDelivered() {
        return waitFor([&] { return outbox->waiting(kTargetA) == 0; });
    }

    std::unique_ptr<Outbox> outbox = open();
    std::shared_ptr<TestClock> clock = std::make_shared<TestClock>();
};

SendResult retry(std::string reason, size_t taken = 0,
                 std::optional<std::chrono::seconds> after = std::nullopt) {
    return {Kind::Retry, taken, std::move(reason), after};
}

TEST_F(TargetWorkerTest, RetriesBackOffDoublingToFiveMinutesWithJitterAndHonourRetryAfter) {
    readCodes(5);
    std::deque<SendResult> script{retry("Netz weg", 2)};
    for (int i = 0; i < 10; ++i)
        script.push_back(retry("Netz weg"));
    script.push_back(retry("Server ausgelastet", 0, 30s));
    script.push_back(retry("Server ausgelastet", 0, std::chrono::hours(5)));
    ScriptedSender* sender = nullptr;
    auto worker = start(sender, script, 3);
    ASSERT_TRUE(allDelivered());
    EXPECT_EQ(worker->state().lastError, "");

    // The two taken from the first batch are not sent again.
    const auto sends = sender->sends();
    EXPECT_EQ(sends.front(), (std::vector<std::string>{"01", "02", "03"}));
    EXPECT_EQ(sends.at(1), (std::vector<std::string>{"03", "04", "05"}));
    EXPECT_EQ(sends.size(), 14U);

    const auto pauses = clock->pauses();
    ASSERT_EQ(pauses.size(), 13U);
    std::chrono::milliseconds full = 1s;
    for (size_t i = 0; i < 11; ++i) {
        EXPECT_GE(pauses[i], full / 2) << i;
        EXPECT_LE(pauses[i], full) << i;
        full = std::min<std::chrono::milliseconds>(full * 2, 5min);
    }
    EXPECT_EQ(pauses[11], 30s);
    EXPECT_EQ(pauses[12], 1h);
}

TEST_F(TargetWorkerTest, ARefusedEventIsFoundAndSetAsideWhileTheRestFlow) {
    readCodes(5);
    ScriptedSender* sender = nullptr;
    auto worker = start(sender, {}, 10, [](std::span<const QueuedEvent> events) {
        for (const QueuedEvent& event : events)
            if (event.json.find("\"code\":\"03\"") != std::string::npos)
                return SendResult{Kind::Rejected, 0, "Feld fehlt", std::nullopt};
        return SendResult{Kind::Delivered, 0, {}, std::nullopt};
    });
    ASSERT_TRUE(allDelivered());
    EXPECT_EQ(outbox->setAsideCount(kTargetA), 1U);
    EXPECT_EQ(outbox->lastRejection(kTargetA), "Feld fehlt");
    read(*outbox, "06");
    read(*outbox, "07");
    worker->wake();
    ASSERT_TRUE(allDelivered());

    using Codes = std::vector<std::string>;
    EXPECT_EQ(
        sender->sends(),
        (std::vector<Codes>{
            {"01", "02", "03", "04", "05"}, {"01"}, {"02"}, {"03"}, {"04"}, {"05"}, {"06", "07"}}));
    EXPECT_TRUE(clock->pauses().empty());
}

TEST_F(TargetWorkerTest, ATargetThatRefusesUsPausesAndLosesNothing) {
    readCodes(3);
    clock->held_ = true;
    ScriptedSender* sender = nullptr;
    const SendResult refused{Kind::Misconfigured, 0, "Zugang verweigert (401)", std::nullopt};
    auto worker = start(sender, {refused, refused}, 10);
    ASSERT_TRUE(waitFor([&] { return worker->state().paused; }));
    EXPECT_EQ(worker->state().lastError, "Zugang verweigert (401)");
    EXPECT_EQ(outbox->waiting(kTargetA), 3U);
    EXPECT_EQ(outbox->setAsideCount(kTargetA), 0U);

    clock->held_ = false;
    ASSERT_TRUE(allDelivered());
    EXPECT_EQ(worker->state().paused, false);
    EXPECT_EQ(worker->state().lastError, "");
    EXPECT_EQ(clock->pauses(), (std::vector<std::chrono::milliseconds>{3min, 3min}));
    EXPECT_EQ(sender->sends().size(), 3U);
}

TEST_F(TargetWorkerTest, ShutdownInterruptsASendThatHangsAndKeepsItsEvents) {
    readCodes(2);
    ScriptedSender* sender = nullptr;
    auto worker = std::make_unique<TargetWorker>(
        *outbox, kTargetA,
        [&] {
            auto hanging = std::make_unique<ScriptedSender>();
            hanging->hang();
            sender = hanging.get();
            return hanging;
        }(),
        10);
    ASSERT_TRUE(waitFor([&] { return !sender->sends().empty(); }));
    const auto before = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_EQ(outbox->waiting(kTargetA), 2U);
}

TEST_F(TargetWorkerTest, OneTargetDownHoldsNoOtherBackAndStopsAtOnceInItsBackOff) {
    outbox.reset();
    DeliveryOptions options;
    for (const char* url : {kTargetA, kTargetB, kTargetA}) {
        options.targets.emplace_back();
        options.targets.back().url = url;
    }
    // Each target once, for now.
    const SenderSettings twice = options.targets.back();
    options.targets.pop_back();
    const SenderFactory factory = [](const SenderSettings& target, size_t) {
        auto sender =
            target.url == kTargetA
                ? std::make_unique<ScriptedSender>(
                      std::deque<SendResult>{},
                      [](std::span<const QueuedEvent>) { return retry("Verbindung abgelehnt"); })
                : std::make_unique<ScriptedSender>();
        return std::variant<TargetSender, std::string>(TargetSender{std::move(sender), 5});
    };
    auto started = DeliveryService::start(factory, sqlite, file, options);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DeliveryService>>(started));
    auto service = std::move(std::get<std::unique_ptr<DeliveryService>>(started));
    for (int i = 0; i < 20; ++i) {
        const ReadEvent event = newReadEvent("read", "Com1", "0A");
        const auto stored = service->store(event);
        ASSERT_TRUE(std::holds_alternative<int64_t>(stored));
        EXPECT_EQ(service->offer(std::get<int64_t>(stored), event), std::nullopt);
    }
    ASSERT_TRUE(waitFor([&] { return service->status().targets.at(1).waiting == 0; }));
    const DeliveryStatus status = service->status();
    EXPECT_EQ(status.waiting, 20U);
    EXPECT_EQ(status.deliveredToday, 20U);
    EXPECT_EQ(status.targets.at(0).url, kTargetA);
    EXPECT_EQ(status.targets.at(0).waiting, 20U);
    EXPECT_EQ(status.targets.at(0).lastError, "Verbindung abgelehnt");
    EXPECT_FALSE(status.targets.at(0).paused);
    EXPECT_EQ(status.targets.at(1).lastError, "");

    const auto before = std::chrono::steady_clock::now();
    service.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);

    options.targets.push_back(twice);
    const auto refused = DeliveryService::start(factory, sqlite, file, options);
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(std::get<std::string>(refused),
              "Das Ziel „https://a.example/reads“ ist mehr als einmal eingetragen.");
}

} // namespace
} // namespace pelvaro::test
