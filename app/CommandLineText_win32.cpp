#include "app/CommandLineText.h"

#include <QString>
#include <windows.h>

namespace pelvaro {

namespace {

bool writeAll(HANDLE output, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(output, data, size, &written, nullptr) && written == size;
}

// standardHandle: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE; icon: the message
// box's, when there is no console.
void show(const std::string& text, DWORD standardHandle, UINT icon) {
    // Redirected into a file or a pipe: the bytes as they are.
    HANDLE output = GetStdHandle(standardHandle);
    DWORD mode = 0;
    if (output && output != INVALID_HANDLE_VALUE && !GetConsoleMode(output, &mode) &&
        writeAll(output, text.data(), static_cast<DWORD>(text.size())))
        return;
    const std::wstring wide = QString::fromStdString(text).toStdWString();
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        const bool shown =
            console != INVALID_HANDLE_VALUE &&
            WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        if (console != INVALID_HANDLE_VALUE)
            CloseHandle(console);
        FreeConsole();
        if (shown)
            return;
    }
    MessageBoxW(nullptr, wide.c_str(), L"Pelvaro", MB_OK | icon);
}

} // namespace

void showCommandLineText(const std::string& text) {
    show(text, STD_OUTPUT_HANDLE, MB_ICONINFORMATION);
}

void showCommandLineError(const std::string& text) {
    show(text, STD_ERROR_HANDLE, MB_ICONERROR);
}

} // namespace pelvaro
