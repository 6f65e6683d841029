#include "delivery/SecretFile.h"

#include <windows.h>
// after windows.h, which it needs
#include <dpapi.h>

namespace pelvaro::secretfile {

namespace {

// Encrypts for the logged-on user, or decrypts what was so encrypted.
std::optional<std::string> transformed(std::string_view data, bool protect) {
    DATA_BLOB in{static_cast<DWORD>(data.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(data.data()))};
    DATA_BLOB out{};
    const BOOL done = protect ? CryptProtectData(&in, L"Pelvaro", nullptr, nullptr, nullptr,
                                                 CRYPTPROTECT_UI_FORBIDDEN, &out)
                              : CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr,
                                                   CRYPTPROTECT_UI_FORBIDDEN, &out);
    if (!done)
        return std::nullopt;
    std::string result(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return result;
}

} // namespace

std::optional<std::string> sealed(std::string_view text) {
    return transformed(text, true);
}

std::optional<std::string> unsealed(std::string_view stored) {
    return transformed(stored, false);
}

// The file itself gets the user's own permissions when it is written.
bool preparePrivateFile(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    return !error;
}

// Who may read a file is the folder's business on Windows.
std::optional<std::string> exposure(const std::filesystem::path&) {
    return std::nullopt;
}

} // namespace pelvaro::secretfile
