#include "delivery/MqttAddress.h"

#include <charconv>

namespace pelvaro {

namespace {

// %40 and the like, as a URL spells an @ in a user name; nothing for a broken
// escape or a NUL, which would cut the name short.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const std::string_view digits = text.substr(i + 1, 2);
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.size() != 2 || error != std::errc() || end != digits.data() + 2 || value == 0)
            return std::nullopt;
        decoded += static_cast<char>(value);
        i += 2;
    }
    return decoded;
}

std::optional<int> portNumber(std::string_view text) {
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

std::optional<MqttAddress> parseMqttAddress(std::string_view url, std::string_view computerName) {
    MqttAddress address;
    if (url.starts_with("mqtt://")) {
        url.remove_prefix(7);
        address.port = kMqttPort;
    } else if (url.starts_with("mqtts://")) {
        url.remove_prefix(8);
        address.tls = true;
        address.port = kMqttsPort;
    } else {
        return std::nullopt;
    }

    const size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? "" : url.substr(slash + 1);

    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        auto user = percentDecoded(authority.substr(0, at));
        if (!user || user->empty())
            return std::nullopt;
        address.user = std::move(*user);
        authority.remove_prefix(at + 1);
    }

    std::string_view port;
    if (authority.starts_with('[')) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        address.host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(':'))
            return std::nullopt;
        port = authority;
    } else {
        const size_t colon = authority.find(':');
        address.host = authority.substr(0, colon);
        port = colon == std::string_view::npos ? "" : authority.substr(colon);
    }
    if (address.host.empty())
        return std::nullopt;
    if (!port.empty()) { // ":1883"
        port.remove_prefix(1);
        const auto number = portNumber(port);
        if (!number)
            return std::nullopt;
        address.port = *number;
    }

    if (path.empty()) {
        address.topic = "pelvaro/" + std::string(computerName) + "/reads";
    } else {
        auto topic = percentDecoded(path);
        if (!topic || topic->find_first_of("+#") != std::string::npos)
            return std::nullopt;
        address.topic = std::move(*topic);
    }
    return address;
}

} // namespace pelvaro
