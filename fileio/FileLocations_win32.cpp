#include "fileio/FileLocations.h"

#include <shlobj.h>
#include <windows.h>

namespace pelvaro {

std::optional<UserFolders> userFolders() {
    PWSTR roaming = nullptr;
    std::optional<UserFolders> folders;
    if (SUCCEEDED(
            SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &roaming))) {
        const std::filesystem::path folder = std::filesystem::path(roaming) / "Pelvaro";
        folders = UserFolders{folder, folder};
    }
    CoTaskMemFree(roaming);
    return folders;
}

std::optional<std::filesystem::path> runningProgramFile() {
    std::wstring name(MAX_PATH, L'\0');
    // Paths may be longer than MAX_PATH; the name is cut to fit when the
    // buffer is too small.
    while (name.size() <= 65536) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::nullopt;
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name);
        }
        name.resize(name.size() * 2);
    }
    return std::nullopt;
}

bool isPortableCopy(const std::filesystem::path& programDirectory) {
    std::error_code error;
    return !std::filesystem::exists(programDirectory / kInstalledMarkerFile, error);
}

} // namespace pelvaro
