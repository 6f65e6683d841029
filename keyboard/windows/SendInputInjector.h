#pragma once

#include "keyboard/KeystrokeInjector.h"

namespace pelvaro {

// Characters go as themselves, not as keys of the keyboard layout: one
// Unicode press and release per UTF-16 unit, so a character beyond the Basic
// Multilingual Plane goes as its surrogate pair, high unit first.
class SendInputInjector final : public KeystrokeInjector {
public:
    TypingResult typeText(std::u32string_view text, bool enter) override;
};

} // namespace pelvaro
