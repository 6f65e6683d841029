#include "fileio/AppendFile.h"

#include "fileio/UserOnlySecurity_win32.h"

#include <string>
#include <windows.h>

namespace pelvaro {

bool appendToFile(const std::filesystem::path& file, std::string_view header,
                  std::string_view text) {
    UserOnlySecurity userOnly;
    // The widest sharing there is: a program that has the file open for
    // reading or writing does not keep the text out. One that denies writing
    // does; the caller tries again later.
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                userOnly.attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end{};
    if (!GetFileSizeEx(handle, &end) || !SetFilePointerEx(handle, end, nullptr, FILE_BEGIN)) {
        CloseHandle(handle);
        return false;
    }
    std::string content;
    if (end.QuadPart == 0)
        content = header;
    content += text;
    DWORD written = 0;
    const bool ok =
        WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    // Falling short, the text is taken back.
    if (!ok && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN))
        SetEndOfFile(handle);
    return CloseHandle(handle) && ok;
}

} // namespace pelvaro
