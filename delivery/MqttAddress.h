#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// Where a broker target sends: mqtt://[user@]host[:port][/topic], or mqtts://
// for TLS. The topic may have levels of its own ("site/door1/reads").
struct MqttAddress {
    bool tls = false;
    std::string host; // without the brackets of an IPv6 address
    int port = 0;
    std::string user; // empty: none
    std::string topic;
};

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttsPort = 8883;

// The address of the URL; the topic, when it names none, pelvaro/<computer>/reads.
// Nothing when the URL is no usable broker address (no host, a bad port, a
// topic with the wildcards + or #).
std::optional<MqttAddress> parseMqttAddress(std::string_view url, std::string_view computerName);

} // namespace pelvaro
