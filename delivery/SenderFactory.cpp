#include "delivery/SenderFactory.h"

#include "delivery/HttpSender.h"
#include "delivery/MqttSender.h"

#include <algorithm>
#include <cctype>

namespace pelvaro {

namespace {

std::string schemeOf(const std::string& url) {
    const size_t end = url.find("://");
    std::string scheme = url.substr(0, end == std::string::npos ? 0 : end);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme;
}

} // namespace

std::variant<TargetSender, std::string> makeSender(const SenderSettings& target, size_t batch) {
    const std::string scheme = schemeOf(target.url);
    if (scheme == "http" || scheme == "https")
        return TargetSender{makeHttpSender(target), batch};
    if (scheme == "mqtt" || scheme == "mqtts")
        return TargetSender{makeMqttSender(target), kMqttInFlight};
    return "„" + target.url +
           "“ ist kein Versandziel: erwartet wird eine Adresse mit http://, https://, mqtt:// oder "
           "mqtts://.";
}

std::variant<std::unique_ptr<DeliveryService>, std::string>
DeliveryService::start(std::shared_ptr<const SqliteLibrary> sqlite,
                       const std::filesystem::path& outbox, DeliveryOptions options) {
    return start(makeSender, std::move(sqlite), outbox, std::move(options));
}

SendResult DeliveryService::check(const SenderSettings& target) {
    // A client id of its own: a broker would otherwise hand the running
    // delivery's session to the check and cut the delivery off.
    SenderSettings checking = target;
    if (!checking.clientId.empty())
        checking.clientId += "-pruefung";
    auto made = makeSender(checking, 1);
    if (auto* reason = std::get_if<std::string>(&made))
        return {SendResult::Kind::Misconfigured, 0, *reason, std::nullopt};
    return std::get<TargetSender>(made).sender->check();
}

} // namespace pelvaro
