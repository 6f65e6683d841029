#include "delivery/DeliveryService.h"

#include "delivery/Outbox.h"
#include "delivery/TargetWorker.h"

#include <set>

namespace pelvaro {

struct DeliveryService::Running {
    std::unique_ptr<Outbox> outbox;
    std::vector<std::string> urls;
    // After the outbox: the threads end before it closes.
    std::vector<std::unique_ptr<TargetWorker>> workers;
};

DeliveryService::DeliveryService(std::unique_ptr<Running> running) : running_(std::move(running)) {}

DeliveryService::~DeliveryService() = default;

std::variant<std::unique_ptr<DeliveryService>, std::string>
DeliveryService::start(const SenderFactory& makeSender, std::shared_ptr<const SqliteLibrary> sqlite,
                       const std::filesystem::path& outbox, DeliveryOptions options) {
    auto running = std::make_unique<Running>();
    std::vector<TargetSender> senders;
    std::set<std::string> seen;
    for (const SenderSettings& target : options.targets) {
        if (!seen.insert(target.url).second)
            return "Das Ziel „" + target.url + "“ ist mehr als einmal eingetragen.";
        auto made = makeSender(target, options.batch);
        if (auto* reason = std::get_if<std::string>(&made))
            return *reason;
        senders.push_back(std::move(std::get<TargetSender>(made)));
        running->urls.push_back(target.url);
    }
    auto opened = Outbox::open(std::move(sqlite), outbox, running->urls, options.mostQueued);
    if (auto* reason = std::get_if<std::string>(&opened))
        return *reason;
    running->outbox = std::move(std::get<std::unique_ptr<Outbox>>(opened));
    for (size_t i = 0; i < senders.size(); ++i)
        running->workers.push_back(std::make_unique<TargetWorker>(
            *running->outbox, running->urls[i], std::move(senders[i].sender), senders[i].perSend));
    return std::unique_ptr<DeliveryService>(new DeliveryService(std::move(running)));
}

std::variant<int64_t, std::string> DeliveryService::store(const ReadEvent& event) {
    return running_->outbox->store(event);
}

std::optional<std::string> DeliveryService::offer(int64_t seq, const ReadEvent& event) {
    auto failure = running_->outbox->offer(seq, event);
    for (const auto& worker : running_->workers)
        worker->wake();
    return failure;
}

DeliveryStatus DeliveryService::status() const {
    const Outbox& outbox = *running_->outbox;
    DeliveryStatus status;
    status.waiting = outbox.waiting();
    status.deliveredToday = outbox.deliveredToday();
    for (size_t i = 0; i < running_->urls.size(); ++i) {
        const std::string& url = running_->urls[i];
        const TargetState state = running_->workers[i]->state();
        status.targets.push_back({url, outbox.waiting(url), outbox.setAsideCount(url),
                                  outbox.lastRejection(url), state.lastError, state.paused});
    }
    return status;
}

} // namespace pelvaro
