#include "KeyboardBackend.h"

#include <windows.h>

namespace pelvaro {

namespace {

// One keyboard record per SendInput call, time stamp and extra information 0.
bool send(WORD virtualKey, WORD scanCode, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scanCode;
    input.ki.dwFlags = flags;
    return SendInput(1, &input, sizeof(INPUT)) == 1;
}

bool stroke(WORD virtualKey, WORD scanCode, DWORD flags) {
    const bool pressed = send(virtualKey, scanCode, flags);
    const bool released = send(virtualKey, scanCode, flags | KEYEVENTF_KEYUP);
    return pressed && released;
}

// Characters go as themselves, not as keys of the keyboard layout.
class SendInputInjector final : public KeystrokeInjector {
public:
    bool typeText(std::u32string_view text, bool enter) override {
        bool allSent = true;
        for (const char32_t character : text)
            allSent = typeCharacter(character) && allSent;
        return (!enter || stroke(VK_RETURN, 0, 0)) && allSent;
    }

private:
    static bool typeCharacter(char32_t character) {
        if (character < 0x10000)
            return stroke(0, static_cast<WORD>(character), KEYEVENTF_UNICODE);
        // Beyond the Basic Multilingual Plane: its UTF-16 surrogate pair.
        const char32_t offset = character - 0x10000;
        const bool high = stroke(0, static_cast<WORD>(0xD800 + (offset >> 10)), KEYEVENTF_UNICODE);
        const bool low = stroke(0, static_cast<WORD>(0xDC00 + (offset & 0x3FF)), KEYEVENTF_UNICODE);
        return high && low;
    }
};

} // namespace

KeyboardBackendChoice chooseKeyboardBackend(const KeyboardSettings& settings, DeferredCall) {
    KeyboardBackendChoice choice;
    const std::string& forced = settings.backend;
    if (!forced.empty() && forced != "sendinput") {
        choice.unavailable = "unbekannte Art der Tastatureingabe '" + forced + "'.";
        choice.report.push_back(forced + ": unbekannt");
        return choice;
    }
    choice.injector = std::make_unique<SendInputInjector>();
    choice.name = "sendinput";
    choice.report.push_back("sendinput: SendInput");
    return choice;
}

} // namespace pelvaro
