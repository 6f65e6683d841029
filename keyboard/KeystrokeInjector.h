#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// The keys a text to type may hold besides its characters: a form's next
// field, and the end of a line.
inline constexpr char32_t kTabKey = U'\t';
inline constexpr char32_t kEnterKey = U'\n';

// What became of a text handed to an injector.
struct TypingResult {
    enum class Extent { Whole, InPart, None };

    Extent extent = Extent::Whole;
    std::string reason; // why not whole, in German; empty when whole

    bool typedWhole() const { return extent == Extent::Whole; }
    // Typing that stopped short, after some keys or before the first.
    static TypingResult stopped(bool someTyped, std::string reason) {
        return {someTyped ? Extent::InPart : Extent::None, std::move(reason)};
    }
};

// Why a text is not whole when its characters are skipped.
inline constexpr char kLackingCharactersReason[] = "Zeichen fehlen in der Tastaturbelegung.";

// Synthetic keyboard input for whichever window holds the keyboard focus.
class KeystrokeInjector {
public:
    virtual ~KeystrokeInjector() = default;

    // Called when typing is about to begin (a start of redirect mode, of the
    // command-line reader), before the reader is opened: a backend that needs
    // the desktop's consent asks for it here. The reason, in German, when
    // typing is refused.
    virtual std::optional<std::string> begin() { return std::nullopt; }

    // Types the text as itself, whatever the keyboard layout, Shift or Caps
    // Lock: per character one press and one release, then ENTER when asked.
    // kTabKey and kEnterKey in the text are the Tab and Return keys. A
    // character the layout lacks is skipped and the rest still goes out; a
    // key that cannot be sent stops the rest of the text.
    virtual TypingResult typeText(std::u32string_view text, bool enter) = 0;
    // Gives back what typing borrowed from the system (keys bound for
    // characters the keyboard map lacks); typing again borrows anew.
    virtual void release() {}
};

// Runs work once the delay has passed, on the calling thread, without
// blocking it meanwhile: in the program a timer of its event loop. An
// injector given none waits in place instead.
using DeferredCall =
    std::function<void(std::chrono::milliseconds delay, std::function<void()> work)>;

} // namespace pelvaro
