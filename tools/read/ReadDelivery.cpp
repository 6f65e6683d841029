#include "tools/read/ReadDelivery.h"

#include "delivery/DeliveryService.h"
#include "delivery/SecretStore.h"
#include "personnel/SqliteLibrary.h"

#include <QString>
#include <QSysInfo>
#include <cstdint>
#include <cstdio>
#include <variant>

namespace pelvaro::readtool {

namespace {

// The same for every run on the same outbox, and different for two tools on
// one computer: an MQTT broker keeps one session per client id.
std::string clientIdFor(const std::string& host, const std::filesystem::path& outbox) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(outbox, error);
    uint32_t hash = 2166136261u; // FNV-1a
    for (const char c : (error ? outbox : absolute).string()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char suffix[12];
    std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(hash));
    return "pelvaro-read-" + host + suffix;
}

// The secret each target is given: the file's for all, or the one the
// program keeps for its URL.
std::optional<std::string> secretFor(const ReadOptions& options, const std::string& target,
                                     std::string& error) {
    if (!options.secretFile.empty())
        return readSecretFile(options.secretFile, error);
    const auto store = SecretStore::forUser();
    return store ? store->secretFor(target) : std::string();
}

} // namespace

struct ReadDelivery::Pending {
    int64_t seq;
    ReadEvent event;
};

std::unique_ptr<ReadDelivery> ReadDelivery::start(const ReadOptions& options,
                                                  const FileLocations& files, std::string& error) {
    const std::filesystem::path outbox =
        options.outbox.empty() ? files.databaseDirectory / kOutboxFile : options.outbox;
    if (options.outbox.empty())
        prepareFolders(files);
    const std::string host = QSysInfo::machineHostName().toStdString();
    DeliveryOptions delivery;
    delivery.batch = options.batch;
    for (const std::string& url : options.deliverTo) {
        SenderSettings target;
        target.url = url;
        const auto secret = secretFor(options, url, error);
        if (!secret)
            return nullptr;
        target.secret = *secret;
        target.caFile = options.caFile;
        target.host = host;
        target.clientId = clientIdFor(host, outbox);
        delivery.targets.push_back(std::move(target));
    }
    auto started =
        DeliveryService::start(BindSqliteLibrary(files).library, outbox, std::move(delivery));
    if (auto* reason = std::get_if<std::string>(&started)) {
        error = std::move(*reason);
        return nullptr;
    }
    return std::unique_ptr<ReadDelivery>(
        new ReadDelivery(std::move(std::get<std::unique_ptr<DeliveryService>>(started))));
}

ReadDelivery::ReadDelivery(std::unique_ptr<DeliveryService> service)
    : service_(std::move(service)) {}

ReadDelivery::~ReadDelivery() = default;

void ReadDelivery::cardRead(std::string_view reader, std::string_view code) {
    pending_.reset();
    ReadEvent event = newReadEvent("read", reader, code);
    auto stored = service_->store(event);
    if (const auto* reason = std::get_if<std::string>(&stored)) {
        std::fprintf(stderr, "%s\n", reason->c_str());
        return;
    }
    pending_ = std::make_unique<Pending>(Pending{std::get<int64_t>(stored), std::move(event)});
}

void ReadDelivery::cardGivenOut(const CardOutcome& outcome) {
    if (!pending_)
        return;
    ReadEvent& event = pending_->event;
    event.output = outcome.output;
    event.personnel = outcome.personnel;
    event.typed = outcome.typed;
    if (const auto failure = service_->offer(pending_->seq, event))
        std::fprintf(stderr, "%s\n", failure->c_str());
    pending_.reset();
}

} // namespace pelvaro::readtool
