#include "fileio/SessionStart.h"

#include <vector>
#include <windows.h>

namespace pelvaro {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Pelvaro";

std::string failureText(LONG code) {
    return "Der Autostart-Eintrag der Anmeldung kann nicht geändert werden (Fehler " +
           std::to_string(code) + ").";
}

} // namespace

std::optional<std::filesystem::path> sessionStartProgram() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> command(size / sizeof(wchar_t) + 1);
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, command.data(),
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(command.data());
    // The command is the program in quotes.
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    return std::filesystem::path(text);
}

std::optional<std::string> setSessionStart(const std::optional<std::filesystem::path>& program) {
    HKEY run = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &run, nullptr);
    if (result != ERROR_SUCCESS)
        return failureText(result);
    if (program) {
        // Quoted for the blanks; with backslashes, as Windows writes paths.
        const std::wstring command =
            L"\"" + std::filesystem::path(*program).make_preferred().wstring() + L"\"";
        result = RegSetValueExW(run, kValueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        result = RegDeleteValueW(run, kValueName);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS; // nothing to remove
    }
    RegCloseKey(run);
    return result == ERROR_SUCCESS ? std::nullopt : std::optional(failureText(result));
}

std::string sessionStartEntryName() {
    return "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run, Wert „Pelvaro“";
}

} // namespace pelvaro
