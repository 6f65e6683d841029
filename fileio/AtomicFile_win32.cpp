#include "fileio/AtomicFile.h"

#include "fileio/UserOnlySecurity_win32.h"

#include <optional>
#include <windows.h>

namespace pelvaro {

bool replaceFileContents(const std::filesystem::path& target, std::string_view content,
                         NewFileAccess access) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;

    const std::filesystem::path temporary = target.wstring() + L".new";
    std::optional<UserOnlySecurity> userOnly;
    if (access == NewFileAccess::UserOnly)
        userOnly.emplace();
    // A file left by an interrupted save would keep its own permissions.
    DeleteFileW(temporary.c_str());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0,
                              userOnly ? userOnly->attributes() : nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace pelvaro
