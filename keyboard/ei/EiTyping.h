#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace pelvaro {

class EiKeyboard;
class StrokePlanner;

// Types texts as key codes of the keymap the desktop lends with its libei
// keyboard, so that the characters the keymap lacks are known before any key
// goes out, and the modifiers and group the desktop reports (a Caps Lock, a
// Shift held on another keyboard) do not change what arrives.
class EiTyping {
public:
    // Over a connection the portal handed out, taken; null when libei is not
    // installed or the desktop lends no keyboard within patience.
    static std::unique_ptr<EiTyping> connect(int fd, std::chrono::milliseconds patience);
    // libei's version where it is installed, else empty.
    static std::string libraryVersion();
    ~EiTyping();

    struct Typed {
        bool someTyped = false;
        bool someSkipped = false;
        bool refused = false; // a key was not taken: the rest was not sent
    };
    // kTabKey and kEnterKey are the Tab and Return keys.
    Typed type(std::u32string_view keys);
    // A stroke that types nothing: a seat without a keyboard of its own
    // loses the key that gives it one.
    void strikeModifier();

private:
    EiTyping(std::unique_ptr<EiKeyboard> keyboard);
    bool tap(unsigned key);

    std::unique_ptr<EiKeyboard> keyboard_;
    std::unique_ptr<StrokePlanner> planner_;
};

} // namespace pelvaro
