#include "keyboard/windows/SendInputInjector.h"

#include <vector>
#include <windows.h>

namespace pelvaro {

namespace {

void addStroke(std::vector<INPUT>& events, WORD virtualKey, WORD scanCode, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scanCode;
    input.ki.dwFlags = flags;
    events.push_back(input);
    input.ki.dwFlags = flags | KEYEVENTF_KEYUP;
    events.push_back(input);
}

} // namespace

TypingResult SendInputInjector::typeText(std::u32string_view text, bool enter) {
    std::vector<INPUT> events;
    events.reserve(4 * text.size() + 2);
    for (const char32_t character : text) {
        if (character == kTabKey || character == kEnterKey) {
            addStroke(events, character == kTabKey ? VK_TAB : VK_RETURN, 0, 0);
            continue;
        }
        if (character < 0x10000) {
            addStroke(events, 0, static_cast<WORD>(character), KEYEVENTF_UNICODE);
            continue;
        }
        const char32_t offset = character - 0x10000;
        addStroke(events, 0, static_cast<WORD>(0xD800 + (offset >> 10)), KEYEVENTF_UNICODE);
        addStroke(events, 0, static_cast<WORD>(0xDC00 + (offset & 0x3FF)), KEYEVENTF_UNICODE);
    }
    if (enter)
        addStroke(events, VK_RETURN, 0, 0);
    if (events.empty())
        return {};
    // One call: the system puts the whole text into the input stream at
    // once, so a key the user presses meanwhile cannot land inside it. It
    // stops at the first event that another program's input blocks.
    const UINT sent = SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
    if (sent == events.size())
        return {};
    return TypingResult::stopped(sent > 0, "Windows hat Tastendrücke nicht angenommen "
                                           "(sperrt ein anderes Programm die Eingabe?).");
}

} // namespace pelvaro
