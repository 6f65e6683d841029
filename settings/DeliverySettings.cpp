#include "settings/DeliverySettings.h"

#include "fileio/ProfileFile.h"
#include "settings/ProfileNumbers.h"
#include "text/PathText.h"

#include <array>

namespace pelvaro {

namespace {

constexpr char kSection[] = "Delivery";
constexpr long long kMostBatch = 1000;
constexpr long long kMostQueuedAllowed = 10000000;

struct PathKey {
    const char* name;
    std::filesystem::path DeliverySettings::*path;
};

constexpr std::array<PathKey, 3> kPathKeys = {{
    {"CaFile", &DeliverySettings::caFile},
    {"ClientCert", &DeliverySettings::clientCertificate},
    {"ClientKey", &DeliverySettings::clientKey},
}};

std::string targetKey(size_t number) {
    return "Target" + std::to_string(number);
}

// Whether the file holds any key of the section: only then does a save
// without targets touch it.
bool hasSection(const std::filesystem::path& file) {
    if (readProfileString(file, kSection, targetKey(1)))
        return true;
    for (const char* key : {"Batch", "MaxQueued", "CaFile", "ClientCert", "ClientKey", "ListMode"})
        if (readProfileString(file, kSection, key))
            return true;
    return false;
}

} // namespace

DeliverySettings readDeliverySettings(const std::filesystem::path& file) {
    DeliverySettings settings;
    // The list ends at the first number missing or empty.
    for (size_t number = 1;; ++number) {
        auto target = readProfileString(file, kSection, targetKey(number));
        if (!target || target->empty())
            break;
        settings.targets.push_back(std::move(*target));
    }
    settings.batch =
        static_cast<size_t>(profileIntegerWithin(readProfileString(file, kSection, "Batch"), 1,
                                                 kMostBatch, DeliverySettings::kDefaultBatch));
    settings.mostQueued = static_cast<size_t>(
        profileIntegerWithin(readProfileString(file, kSection, "MaxQueued"), 1, kMostQueuedAllowed,
                             DeliverySettings::kDefaultMostQueued));
    for (const PathKey& key : kPathKeys)
        if (const auto path = readProfileString(file, kSection, key.name))
            settings.*key.path = PathFromUtf8(*path);
    settings.listMode = readProfileFlag(file, kSection, "ListMode", false);
    return settings;
}

bool writeDeliverySettings(const std::filesystem::path& file, const DeliverySettings& settings) {
    if (!settings.enabled() && !hasSection(file))
        return true;
    size_t number = 0;
    for (const std::string& target : settings.targets)
        if (!target.empty() && !writeProfileString(file, kSection, targetKey(++number), target))
            return false;
    // Those after the last one written, up to the first gap: a gap ends the
    // list on reading, so what lies beyond it was never a target.
    while (const auto stale = readProfileString(file, kSection, targetKey(++number)))
        if (!removeProfileString(file, kSection, targetKey(number), *stale))
            return false;
    if (!writeProfileString(file, kSection, "Batch", std::to_string(settings.batch)) ||
        !writeProfileString(file, kSection, "MaxQueued", std::to_string(settings.mostQueued)))
        return false;
    for (const PathKey& key : kPathKeys)
        if (!writeProfileString(file, kSection, key.name, Utf8Path(settings.*key.path)))
            return false;
    return writeProfileFlag(file, kSection, "ListMode", settings.listMode);
}

} // namespace pelvaro
