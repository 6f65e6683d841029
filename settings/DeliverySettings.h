#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelvaro {

// Where each read goes besides its typing or list, as the [Delivery] section
// of the settings file keeps it. Without the section, or without a target,
// nothing is delivered and nothing changes.
struct DeliverySettings {
    static constexpr size_t kDefaultBatch = 100;
    static constexpr size_t kDefaultMostQueued = 100000;

    std::vector<std::string> targets;         // Target1=, Target2=, …: http(s):// or mqtt(s):// URLs
    size_t batch = kDefaultBatch;             // Batch=: events per request while a backlog drains
    size_t mostQueued = kDefaultMostQueued;   // MaxQueued=
    std::filesystem::path caFile;             // CaFile=: empty for the system's trust store
    std::filesystem::path clientCertificate;  // ClientCert=: MQTT over TLS, optional
    std::filesystem::path clientKey;          // ClientKey=
    bool listMode = false;                    // ListMode=1: list mode's reads too

    bool enabled() const { return !targets.empty(); }
    bool operator==(const DeliverySettings&) const = default;
};

// Reads the section; a missing file, section or key gives the default, a
// number out of range the nearest allowed one (Batch= 1 to 1000, MaxQueued=
// 1 to 10000000). The targets are Target1=, Target2=, … up to the first
// number missing or empty.
DeliverySettings readDeliverySettings(const std::filesystem::path& file);

// Writes the keys, each on its own; targets no longer there are removed,
// empty ones left out. A file without the section gets none while there is
// no target. False at the first key that cannot be written.
bool writeDeliverySettings(const std::filesystem::path& file, const DeliverySettings& settings);

} // namespace pelvaro
