#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro {

// The secrets of the targets (an Authorization value, an MQTT password), kept
// per user and never in the settings file: on Linux a file only the user may
// read in the user's settings folder, on Windows a file protected for the
// user by the system (DPAPI) in the user's folder. Keyed by the target's URL.
class SecretStore {
public:
    // The user's own store.
    static std::optional<SecretStore> forUser();
    // A store in this file (tests, and pelvaro-read's --secret-file is not one).
    explicit SecretStore(std::filesystem::path file) : file_(std::move(file)) {}

    // The secret for the target; empty when none is kept.
    std::string secretFor(const std::string& target) const;
    // Keeps the secret (an empty one removes it); the reason in German when
    // it cannot be written.
    std::optional<std::string> keep(const std::string& target, const std::string& secret);

private:
    std::filesystem::path file_;
};

// The secret in the file given to pelvaro-read: its first line. Nothing, with
// the reason in German, when it cannot be read.
std::optional<std::string> readSecretFile(const std::filesystem::path& file, std::string& error);

} // namespace pelvaro
