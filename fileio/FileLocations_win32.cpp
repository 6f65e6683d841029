#include "fileio/FileLocations.h"

#include <shlobj.h>
#include <windows.h>

namespace pelvaro {

std::optional<UserFolders> userFolders() {
    PWSTR roaming = nullptr;
    std::optional<UserFolders> folders;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr,
                                       &roaming))) {
        const std::filesystem::path folder = std::filesystem::path(roaming) / "Pelvaro";
        folders = UserFolders{folder, folder};
    }
    CoTaskMemFree(roaming);
    return folders;
}

bool isPortableCopy(const std::filesystem::path& programDirectory) {
    std::error_code error;
    return !std::filesystem::exists(programDirectory / kInstalledMarkerFile, error);
}

} // namespace pelvaro
