#include "keyboard/x11/XTestInjector.h"

#include "keyboard/x11/XErrorTrap.h"
#include "keyboard/x11/XKeyboardDevices.h"
#include "keyboard/xkb/XkbKeySearch.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

using namespace std::chrono_literals;

// A client looks a key up in its copy of the keyboard map when it handles the
// event, and fetches that copy anew when it gets to the map change, which for
// a busy client can be long after the stroke. Keys bound for characters the
// map lacks therefore keep their binding this long after their last stroke.
constexpr auto kBindingLifetime = 10s;
// A text with more missing characters than there are spare keys (an X server
// may have fewer than twenty) is typed in portions. The keys are bound anew
// only once a busy client may have looked up the last portion's strokes.
constexpr auto kPortionPause = 1s;
constexpr auto kPortionPauseEachStroke = 20ms;

} // namespace

// What one call of type() got through.
struct TypedPortion {
    size_t consumed = 0;  // characters typed or skipped, from the front
    bool skipped = false; // a character had no key and none could be bound
    bool sent = true;     // no X error
};

class XTestInjector::Connection {
public:
    Connection(Display* display, std::optional<int> core, std::optional<int> xtest)
        : display_(display), context_(xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES)),
          core_(core.value_or(-1)), typing_(xtest.value_or(core_)),
          numLock_(XkbKeysymToModifiers(display, XK_Num_Lock)) {}
    ~Connection() {
        unbindAll();
        xkb_context_unref(context_);
        XCloseDisplay(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Types as much of the text as the spare keys allow, with one fetch of
    // the keyboard map and one map change for all the keys it binds.
    TypedPortion type(std::span<const Wanted> text);
    bool hasBindings() const { return !spareKeys_.empty(); }
    void unbindAll();

private:
    // The keyboard state while a text is typed, changed only where a
    // character needs it and put back at the end.
    struct Typing {
        XkbStateRec before{};
        unsigned group = 0;
        unsigned modifiers = 0; // in force
        bool neutral = false;   // locks, latches and held modifiers lifted
        std::vector<KeyCode> released;
    };

    void fakeKey(KeyCode key, bool press) const {
        XTestFakeKeyEvent(display_, key, press, CurrentTime);
    }
    // The keys for the missing characters of the text, bound where needed;
    // the text ends before the first character that found no key.
    size_t bindMissing(XkbKeySearch& search, std::span<const Wanted> text,
                       std::map<xkb_keysym_t, xkb_keycode_t>& keys);
    bool bindKeys(const std::vector<std::pair<xkb_keycode_t, xkb_keysym_t>>& keys);
    std::vector<KeyCode> releaseHeldModifiers() const;
    void neutralise(Typing& typing) const;
    void restore(const Typing& typing) const;
    void strike(XkbKeySearch& search, const Wanted& wanted, Typing& typing) const;
    void strikeKey(xkb_keycode_t key, const std::vector<xkb_keycode_t>& modifierKeys) const;

    Display* display_;
    xkb_context* context_;
    int core_;   // the device of the map that key bindings change
    int typing_; // the device whose map our key events are read with
    unsigned numLock_;
    SpareKeys spareKeys_;
};

TypedPortion XTestInjector::Connection::type(std::span<const Wanted> text) {
    TypedPortion portion;
    ErrorTrap trap(display_);
    const Keymap keymap = deviceKeymap(display_, context_, typing_);
    Typing typing;
    if (!keymap || XkbGetState(display_, XkbUseCoreKbd, &typing.before) != Success) {
        portion.consumed = text.size();
        portion.skipped = true;
        portion.sent = false;
        return portion;
    }
    typing.group = typing.before.group;
    typing.modifiers = typing.before.mods;

    XkbKeySearch search(keymap.get());
    std::map<xkb_keysym_t, xkb_keycode_t> spareKeys;
    portion.consumed = bindMissing(search, text, spareKeys);
    for (const Wanted& wanted : text.first(portion.consumed)) {
        if (search.find(wanted, typing.group, 0)) {
            strike(search, wanted, typing);
            continue;
        }
        const auto spare = spareKeys.find(wanted.keysym);
        if (spare == spareKeys.end()) {
            portion.skipped = true;
            continue;
        }
        // A key of one level gives its keysym whatever the modifiers, but
        // clients still apply Caps Lock and Shift to its case.
        if ((typing.modifiers & ~numLock_) != 0)
            neutralise(typing);
        strikeKey(spare->second, {});
    }
    restore(typing);
    portion.sent = !trap.failed();
    return portion;
}

size_t XTestInjector::Connection::bindMissing(XkbKeySearch& search, std::span<const Wanted> text,
                                              std::map<xkb_keysym_t, xkb_keycode_t>& keys) {
    std::vector<xkb_keysym_t> missing;
    for (const Wanted& wanted : text) {
        if (std::find(missing.begin(), missing.end(), wanted.keysym) == missing.end() &&
            !search.find(wanted, 0, 0))
            missing.push_back(wanted.keysym);
    }
    if (missing.empty())
        return text.size();
    const Keymap coreKeymap = deviceKeymap(display_, context_, core_);
    if (!coreKeymap)
        return text.size();
    // A key the core keyboard counts as a modifier would change the case.
    std::vector<xkb_keycode_t> unused = search.unusedKeys(XkbKeySearch(coreKeymap.get()));
    std::erase_if(unused, [modifiers = coreModifierKeys(display_)](xkb_keycode_t key) {
        return modifiers.contains(static_cast<KeyCode>(key));
    });
    SpareKeys::Choice choice = spareKeys_.choose(missing, unused);
    if (!choice.toBind.empty() && !bindKeys(choice.toBind))
        spareKeys_.refused(choice);
    keys = std::move(choice.keys);
    if (!choice.withoutKey || keys.empty())
        return text.size(); // no key at all: those characters are skipped
    const auto cut = std::find_if(text.begin(), text.end(),
                                  [&](const Wanted& w) { return w.keysym == *choice.withoutKey; });
    return static_cast<size_t>(cut - text.begin());
}

// Gives each key one group of the one-level type with its keysym, or no
// groups at all for NoSymbol, in one map change. Sent for the core keyboard,
// the change reaches every keyboard attached to it, the XTest one included.
bool XTestInjector::Connection::bindKeys(
    const std::vector<std::pair<xkb_keycode_t, xkb_keysym_t>>& keys) {
    constexpr unsigned parts = XkbAllClientInfoMask | XkbKeyActionsMask | XkbExplicitComponentsMask;
    const std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)> core(
        XkbGetMap(display_, parts, XkbUseCoreKbd), [](XkbDescPtr map) { XkbFreeKeyboard(map, 0, True); });
    if (!core || keys.empty())
        return false;
    XkbMapChangesRec changes{};
    int first = core->max_key_code;
    int last = core->min_key_code;
    for (const auto& [key, keysym] : keys) {
        const bool binding = keysym != NoSymbol;
        std::array<int, XkbNumKbdGroups> types{XkbOneLevelIndex};
        if (XkbChangeTypesOfKey(core.get(), static_cast<int>(key), binding ? 1 : 0, XkbGroup1Mask,
                                types.data(), &changes) != Success)
            return false;
        if (binding)
            XkbKeySymsPtr(core.get(), key)[0] = keysym;
        core->server->c_explicit[key] = binding ? XkbExplicitKeyType1Mask : 0;
        first = std::min<int>(first, static_cast<int>(key));
        last = std::max<int>(last, static_cast<int>(key));
    }
    changes.changed |= XkbKeySymsMask | XkbExplicitComponentsMask;
    changes.first_key_sym = static_cast<KeyCode>(first);
    changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
    changes.first_key_explicit = static_cast<KeyCode>(first);
    changes.num_key_explicit = static_cast<unsigned char>(last - first + 1);
    return XkbChangeMap(display_, core.get(), &changes);
}

void XTestInjector::Connection::unbindAll() {
    if (spareKeys_.empty())
        return;
    ErrorTrap trap(display_);
    std::vector<std::pair<xkb_keycode_t, xkb_keysym_t>> keys;
    for (const xkb_keycode_t key : spareKeys_.releaseAll())
        keys.emplace_back(key, NoSymbol);
    bindKeys(keys);
}

// Releases the modifier keys that are down, as far as the server lets fake
// events release them, and returns those that went up.
std::vector<KeyCode> XTestInjector::Connection::releaseHeldModifiers() const {
    std::array<char, 32> down{};
    XQueryKeymap(display_, down.data());
    const auto isDown = [&](int key) { return (down[key / 8] >> (key % 8)) & 1; };
    std::vector<KeyCode> modifiers;
    for (const KeyCode key : coreModifierKeys(display_)) {
        if (isDown(key)) {
            modifiers.push_back(key);
            fakeKey(key, false);
        }
    }
    XQueryKeymap(display_, down.data());
    std::erase_if(modifiers, isDown);
    return modifiers;
}

void XTestInjector::Connection::neutralise(Typing& typing) const {
    if (typing.neutral)
        return;
    typing.neutral = true;
    typing.released = releaseHeldModifiers();
    if (typing.before.locked_mods)
        XkbLockModifiers(display_, XkbUseCoreKbd, typing.before.locked_mods, 0);
    if (typing.before.latched_mods)
        XkbLatchModifiers(display_, XkbUseCoreKbd, typing.before.latched_mods, 0);
    // Modifiers still in force are held on another device and stay.
    XkbStateRec neutral{};
    if (XkbGetState(display_, XkbUseCoreKbd, &neutral) == Success)
        typing.modifiers = neutral.mods;
}

void XTestInjector::Connection::restore(const Typing& typing) const {
    if (typing.group != typing.before.group)
        XkbLockGroup(display_, XkbUseCoreKbd, typing.before.locked_group);
    if (!typing.neutral)
        return;
    if (typing.before.locked_mods)
        XkbLockModifiers(display_, XkbUseCoreKbd, typing.before.locked_mods,
                         typing.before.locked_mods);
    if (typing.before.latched_mods)
        XkbLatchModifiers(display_, XkbUseCoreKbd, typing.before.latched_mods,
                          typing.before.latched_mods);
    for (const KeyCode modifier : typing.released)
        fakeKey(modifier, true);
}

void XTestInjector::Connection::strike(XkbKeySearch& search, const Wanted& wanted,
                                       Typing& typing) const {
    auto stroke = search.find(wanted, typing.group, typing.modifiers);
    if (!stroke) {
        // Only the locks or the modifiers held rule every key out.
        neutralise(typing);
        stroke = search.find(wanted, typing.group, typing.modifiers);
    }
    if (!stroke)
        return;
    if (stroke->group != typing.group) {
        XkbLockGroup(display_, XkbUseCoreKbd, stroke->group);
        typing.group = stroke->group;
    }
    strikeKey(stroke->key, stroke->modifierKeys);
}

void XTestInjector::Connection::strikeKey(xkb_keycode_t key,
                                          const std::vector<xkb_keycode_t>& modifierKeys) const {
    for (const xkb_keycode_t modifier : modifierKeys)
        fakeKey(static_cast<KeyCode>(modifier), true);
    fakeKey(static_cast<KeyCode>(key), true);
    fakeKey(static_cast<KeyCode>(key), false);
    for (auto modifier = modifierKeys.rbegin(); modifier != modifierKeys.rend(); ++modifier)
        fakeKey(static_cast<KeyCode>(*modifier), false);
}

XTestInjector::XTestInjector(std::unique_ptr<Connection> connection, DeferredCall later)
    : connection_(std::move(connection)),
      pacer_(std::move(later), [this] { return typeQueued(); }) {}

XTestInjector::~XTestInjector() = default;

XTestInjector::Opening XTestInjector::open(const std::string& displayName, DeferredCall later) {
    Opening opening;
    const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
    opening.displayName = name ? name : "";
    if (opening.displayName.empty()) {
        opening.problem = Problem::NoDisplayNamed;
        return opening;
    }
    Display* display = XOpenDisplay(opening.displayName.c_str());
    if (!display) {
        opening.problem = Problem::NotReachable;
        return opening;
    }
    int event = 0;
    int error = 0;
    int opcode = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor) ||
        !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        opening.problem = Problem::NoXTest;
        return opening;
    }
    const auto [core, xtest] = [&] {
        // An error here only means that the core keyboard's map is used.
        ErrorTrap trap(display);
        return std::pair(coreKeyboard(display), xtestKeyboard(display));
    }();
    opening.injector = std::unique_ptr<XTestInjector>(new XTestInjector(
        std::make_unique<Connection>(display, core, xtest), std::move(later)));
    return opening;
}

TypingResult XTestInjector::typeText(std::u32string_view text, bool enter) {
    std::vector<Wanted> wanted;
    wanted.reserve(text.size() + 1);
    for (const char32_t character : text)
        wanted.push_back(wantedCharacter(character));
    if (enter)
        wanted.push_back(wantedCharacter(kEnterKey));
    queue_.push_back(std::move(wanted));
    if (pacer_.waiting())
        return {}; // after the texts before it
    typing_ = {};
    pacer_.run();
    return typing_;
}

StepPacer::Pause XTestInjector::typeQueued() {
    while (!queue_.empty()) {
        std::vector<Wanted>& front = queue_.front();
        const TypedPortion portion = connection_->type(front);
        front.erase(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(portion.consumed));
        if (!portion.sent) {
            // The rest of the text goes no further than the keys refused.
            typing_ =
                TypingResult::stopped(frontBegun_, "der X-Server hat Tastendrücke abgewiesen.");
            front.clear();
        } else if (portion.skipped && typing_.typedWhole()) {
            typing_ = TypingResult::stopped(true, kLackingCharactersReason);
        }
        if (front.empty()) {
            queue_.pop_front();
            frontBegun_ = false;
            continue;
        }
        frontBegun_ = true;
        // The rest needs the spare keys again: only once clients have read them.
        return std::max<std::chrono::milliseconds>(
            kPortionPause, kPortionPauseEachStroke * static_cast<int>(portion.consumed));
    }
    scheduleUnbinding();
    return std::nullopt;
}

void XTestInjector::scheduleUnbinding() {
    if (!connection_->hasBindings())
        return;
    const unsigned generation = ++typings_;
    pacer_.after(kBindingLifetime, [this, generation] {
        // Only when nothing was typed since.
        if (generation == typings_ && !pacer_.waiting())
            connection_->unbindAll();
    });
}

void XTestInjector::release() {
    if (!pacer_.waiting())
        connection_->unbindAll();
}

} // namespace pelvaro
