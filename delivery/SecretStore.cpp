#include "delivery/SecretStore.h"

#include "delivery/SecretFile.h"
#include "fileio/AtomicFile.h"
#include "fileio/FileLocations.h"
#include "text/PathText.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace pelvaro {

namespace {

constexpr char kStoreFileName[] = "Pelvaro-Geheimnisse";
// A line of the store: the target's URL, a tab, its secret.
constexpr char kSeparator = '\t';
// A secret file's first line is a header value or a password, never this long.
constexpr size_t kMostSecretFileLine = 64 * 1024;

using Secrets = std::map<std::string, std::string, std::less<>>;

Secrets parsed(std::string_view text) {
    Secrets secrets;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t separator = line.find(kSeparator);
        if (separator != std::string_view::npos)
            secrets.emplace(line.substr(0, separator), line.substr(separator + 1));
    }
    return secrets;
}

std::string formatted(const Secrets& secrets) {
    std::string text;
    for (const auto& [target, secret] : secrets)
        text.append(target).append(1, kSeparator).append(secret).append(1, '\n');
    return text;
}

// The store's text: empty while there is no file yet; nothing, with the
// reason, when it cannot be read.
std::optional<std::string> storeText(const std::filesystem::path& file, std::string& error) {
    std::error_code missing;
    if (!std::filesystem::exists(file, missing) && !missing)
        return std::string();
    std::ifstream in(file, std::ios::binary);
    const std::string stored((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    auto text = in.is_open() && !in.bad() ? secretfile::unsealed(stored) : std::nullopt;
    if (!text)
        error = "Die Geheimnisse in '" + Utf8Path(file) + "' lassen sich nicht lesen.";
    return text;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

std::optional<SecretStore> SecretStore::forUser() {
    const auto folders = userFolders();
    if (!folders)
        return std::nullopt;
    return SecretStore(folders->settings / kStoreFileName);
}

std::string SecretStore::secretFor(const std::string& target) const {
    std::string error;
    const auto text = storeText(file_, error);
    if (!text)
        return {};
    const Secrets secrets = parsed(*text);
    const auto found = secrets.find(target);
    return found == secrets.end() ? std::string() : found->second;
}

std::optional<std::string> SecretStore::keep(const std::string& target, const std::string& secret) {
    if (target.empty() || target.find(kSeparator) != std::string::npos || hasLineBreak(target))
        return "Das Ziel '" + target + "' ist keine gültige Adresse.";
    if (hasLineBreak(secret))
        return std::string("Das Geheimnis darf keinen Zeilenumbruch enthalten.");
    std::string error;
    // A store that cannot be read is not written over: it may hold the
    // secrets of the other targets.
    const auto text = storeText(file_, error);
    if (!text)
        return error;
    Secrets secrets = parsed(*text);
    if (secret.empty())
        secrets.erase(target);
    else
        secrets.insert_or_assign(target, secret);
    const auto stored = secretfile::sealed(formatted(secrets));
    if (!stored || !secretfile::preparePrivateFile(file_) ||
        !replaceFileContents(file_, *stored, NewFileAccess::UserOnly))
        return "Die Geheimnisse lassen sich nicht in '" + Utf8Path(file_) + "' speichern.";
    return std::nullopt;
}

std::optional<std::string> readSecretFile(const std::filesystem::path& file, std::string& error) {
    const auto refused = [&](const char* why) {
        error = "Die Datei mit dem Geheimnis '" + Utf8Path(file) + "' " + why;
        return std::nullopt;
    };
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return refused("lässt sich nicht lesen.");
    if (const auto exposed = secretfile::exposure(file)) {
        error = *exposed;
        return std::nullopt;
    }
    std::string text(kMostSecretFileLine + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return refused("lässt sich nicht lesen.");
    text.resize(static_cast<size_t>(in.gcount()));
    const size_t lineEnd = text.find('\n');
    if (lineEnd == std::string::npos && text.size() > kMostSecretFileLine)
        return refused("hat eine zu lange erste Zeile.");
    text.resize(std::min(lineEnd, text.size()));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.empty())
        return refused("ist leer.");
    return text;
}

} // namespace pelvaro
