// The keyboard as wine's windows see it, which the X server cannot tell:
//   keyboard_focus        prints the title of the window that has the focus
//   keyboard_focus TEXT   types TEXT into that window, a line break as ENTER
// Typed as Unicode characters, TEXT does not depend on the X server's keymap.
#include <windows.h>

#include <string>
#include <vector>

namespace {

int printForegroundTitle() {
    const HWND window = GetForegroundWindow();
    std::wstring title(256, L'\0');
    title.resize(static_cast<size_t>(
        window ? GetWindowTextW(window, title.data(), static_cast<int>(title.size())) : 0));
    std::string utf8(title.size() * 4 + 1, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, title.data(),
                                                        static_cast<int>(title.size()),
                                                        utf8.data(), static_cast<int>(utf8.size()),
                                                        nullptr, nullptr)));
    utf8 += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
              &written, nullptr);
    return window ? 0 : 1;
}

int type(const std::wstring& text) {
    std::vector<INPUT> events;
    for (const wchar_t unit : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        if (unit == L'\n')
            input.ki.wVk = VK_RETURN;
        else {
            input.ki.wScan = static_cast<WORD>(unit);
            input.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        events.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        events.push_back(input);
    }
    const UINT sent = SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
    return sent == events.size() ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    return argc == 2 ? type(argv[1]) : printForegroundTitle();
}
