#include "delivery/SecretFile.h"
#include "text/PathText.h"

#include <cerrno>
#include <sys/stat.h>

namespace pelvaro::secretfile {

std::optional<std::string> sealed(std::string_view text) {
    return std::string(text);
}

std::optional<std::string> unsealed(std::string_view stored) {
    return std::string(stored);
}

bool preparePrivateFile(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    // A folder that is there keeps its mode.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    // The new file takes the old one's mode: close it first.
    struct stat existing {};
    return ::stat(file.c_str(), &existing) != 0 || (existing.st_mode & 077) == 0 ||
           ::chmod(file.c_str(), existing.st_mode & 0700) == 0;
}

std::optional<std::string> exposure(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || (status.st_mode & S_IROTH) == 0)
        return std::nullopt;
    return "Die Datei mit dem Geheimnis '" + Utf8Path(file) +
           "' ist für alle Benutzer lesbar; bitte mit 'chmod o-r' schützen.";
}

} // namespace pelvaro::secretfile
