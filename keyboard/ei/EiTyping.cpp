#include "keyboard/ei/EiTyping.h"

#include "keyboard/ei/EiKeyboard.h"
#include "keyboard/ei/EiLibrary.h"
#include "keyboard/xkb/StrokePlanner.h"

#include <unistd.h>
#include <vector>

namespace pelvaro {

EiTyping::EiTyping(std::unique_ptr<EiKeyboard> keyboard)
    : keyboard_(std::move(keyboard)), planner_(std::make_unique<StrokePlanner>(keyboard_->keymap())) {}

EiTyping::~EiTyping() = default;

std::unique_ptr<EiTyping> EiTyping::connect(int fd, std::chrono::milliseconds patience) {
    const EiLibrary* library = EiLibrary::get();
    if (!library) {
        close(fd);
        return nullptr;
    }
    auto keyboard = EiKeyboard::connect(*library, fd, patience);
    return keyboard ? std::unique_ptr<EiTyping>(new EiTyping(std::move(keyboard))) : nullptr;
}

std::string EiTyping::libraryVersion() {
    const EiLibrary* library = EiLibrary::get();
    return library ? library->version : std::string();
}

bool EiTyping::tap(unsigned key) {
    return keyboard_->key(key, true) && keyboard_->key(key, false);
}

void EiTyping::strikeModifier() {
    if (const auto shift = planner_->shiftKey())
        tap(*shift);
}

EiTyping::Typed EiTyping::type(std::u32string_view keys) {
    Typed typed;
    // All planned before the first key, under the state the desktop reported;
    // our own strokes leave it as it was.
    const ModifierState state = keyboard_->modifiers();
    std::vector<PlannedStroke> strokes;
    for (const char32_t character : keys) {
        auto stroke = planner_->plan(character, state);
        if (stroke)
            strokes.push_back(std::move(*stroke));
        else
            typed.someSkipped = true;
    }
    for (const PlannedStroke& stroke : strokes) {
        bool sent = !stroke.toggleCapsLock || tap(*planner_->capsLockKey());
        for (const xkb_keycode_t modifier : stroke.modifierKeys)
            sent = sent && keyboard_->key(modifier, true);
        sent = sent && tap(stroke.key);
        for (auto modifier = stroke.modifierKeys.rbegin(); modifier != stroke.modifierKeys.rend();
             ++modifier)
            sent = keyboard_->key(*modifier, false) && sent;
        if (stroke.toggleCapsLock)
            sent = tap(*planner_->capsLockKey()) && sent;
        if (!sent) {
            typed.refused = true;
            return typed;
        }
        typed.someTyped = true;
    }
    return typed;
}

} // namespace pelvaro
