#pragma once

#include <optional>
#include <string>

struct mosquitto;

namespace pelvaro {

// Has the broker's certificate checked against the system's trust store: on
// Linux the system's certificate folder, on Windows the user's and the
// machine's root stores, which OpenSSL does not read by itself. The reason in
// German when it cannot.
std::optional<std::string> useSystemTrustStore(mosquitto* client);

} // namespace pelvaro
