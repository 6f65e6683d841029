#include "fileio/AppendFile.h"

#include <string>
#include <windows.h>

namespace pelvaro {

bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text) {
    // Append access alone: every write goes to the end, whoever else appends.
    HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    std::string content;
    if (GetFileSizeEx(handle, &size) && size.QuadPart == 0)
        content = header;
    content += text;
    DWORD written = 0;
    const bool ok =
        WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    return CloseHandle(handle) && ok;
}

} // namespace pelvaro
