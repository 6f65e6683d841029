#include "keyboard/x11/XTestInjector.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
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

// What to type: a keysym, and the character that other keysyms may also give
// (0 for a key without one, such as Return).
struct Wanted {
    KeySym keysym;
    char32_t character;
};

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

constexpr unsigned kMapParts = XkbAllClientInfoMask | XkbKeyActionsMask | XkbExplicitComponentsMask;

Wanted wantedCharacter(char32_t character) {
    if (character == kTabKey)
        return {XK_Tab, 0};
    if (character == kEnterKey)
        return {XK_Return, 0};
    // Latin-1 characters are their own keysyms; all others have one by the Unicode rule.
    const bool latin1 =
        (character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF);
    return {latin1 ? character : 0x01000000 + character, character};
}

struct MapDeleter {
    void operator()(XkbDescPtr map) const { XkbFreeKeyboard(map, 0, True); }
};
using KeyboardMap = std::unique_ptr<XkbDescRec, MapDeleter>;

// Catches X errors of one connection while it lives; errors of other
// connections go to the handler that was there before.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display)
        : display_(display), outer_(active_), previous_(XSetErrorHandler(&handle)) {
        active_ = this;
    }
    // Also drops the events queued for the connection: it reads none, and map
    // changes are sent to every client.
    ~ErrorTrap() {
        XSync(display_, True);
        XSetErrorHandler(previous_);
        active_ = outer_;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Whether an error arrived for any request sent so far.
    bool failed() {
        XSync(display_, False);
        return failed_;
    }

private:
    static int handle(Display* display, XErrorEvent* error) {
        if (active_ && active_->display_ == display) {
            active_->failed_ = true;
            return 0;
        }
        return active_ && active_->previous_ ? active_->previous_(display, error) : 0;
    }

    static thread_local ErrorTrap* active_;
    Display* display_;
    ErrorTrap* outer_;
    XErrorHandler previous_;
    bool failed_ = false;
};

thread_local ErrorTrap* ErrorTrap::active_ = nullptr;

bool isXTestDevice(Display* display, int device, Atom marker) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    if (XIGetProperty(display, device, marker, 0, 1, False, AnyPropertyType, &type, &format, &items,
                      &left, &data) != Success)
        return false;
    const bool marked = data && format == 8 && items == 1 && data[0] != 0;
    XFree(data);
    return marked;
}

// The keyboard the server takes as ours: the master keyboard that our fake
// key events go to.
std::optional<int> coreKeyboard(Display* display) {
    XkbDeviceInfoPtr info = XkbGetDeviceInfo(display, 0, XkbUseCoreKbd, 0, 0);
    if (!info)
        return std::nullopt;
    const int device = info->device_spec;
    XkbFreeDeviceInfo(info, XkbXI_AllFeaturesMask, True);
    return device;
}

// The XTest keyboard that our fake key events come from. Its map, not
// necessarily the user's, is the one in force when they arrive: the server
// switches the core keyboard to the map of the device that sent the event.
std::optional<int> xtestKeyboard(Display* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    const Atom marker = XInternAtom(display, "XTEST Device", True);
    const std::optional<int> master = coreKeyboard(display);
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success || marker == None || !master)
        return std::nullopt;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    std::optional<int> found;
    for (int i = 0; i < count && !found; ++i) {
        const XIDeviceInfo& device = devices[i];
        if (device.use == XISlaveKeyboard && device.attachment == *master &&
            isXTestDevice(display, device.deviceid, marker))
            found = device.deviceid;
    }
    XIFreeDeviceInfo(devices);
    return found;
}

// The modifiers to add to those held so that the key type selects the level;
// nothing if the held ones rule the level out.
std::optional<unsigned> modifiersForLevel(const XkbKeyTypeRec& type, unsigned level,
                                          unsigned held) {
    const auto levelOf = [&](unsigned modifiers) {
        for (int i = 0; i < type.map_count; ++i) {
            const XkbKTMapEntryRec& entry = type.map[i];
            if (entry.active && entry.mods.mask == (modifiers & type.mods.mask))
                return static_cast<unsigned>(entry.level);
        }
        return 0u;
    };
    if (level == 0)
        return levelOf(held) == 0 ? std::optional(0u) : std::nullopt;
    for (int i = 0; i < type.map_count; ++i) {
        const XkbKTMapEntryRec& entry = type.map[i];
        const unsigned added = entry.mods.mask & ~held;
        if (entry.active && entry.level == level && levelOf(held | added) == level)
            return added;
    }
    return std::nullopt;
}

// Keys whose press sets exactly some of these modifiers, together all of them.
std::optional<std::vector<KeyCode>> modifierKeys(XkbDescPtr map, unsigned modifiers) {
    std::vector<KeyCode> keys;
    unsigned missing = modifiers;
    for (int key = map->min_key_code; key <= map->max_key_code && missing; ++key) {
        if (!XkbKeyHasActions(map, key))
            continue;
        const XkbModAction& action = XkbKeyActionEntry(map, key, 0, 0)->mods;
        if (action.type != XkbSA_SetMods)
            continue;
        const unsigned sets =
            action.flags & XkbSA_UseModMapMods ? map->map->modmap[key] : action.mask;
        if (sets != 0 && (sets & ~modifiers) == 0 && (sets & missing) != 0) {
            keys.push_back(static_cast<KeyCode>(key));
            missing &= ~sets;
        }
    }
    return missing ? std::nullopt : std::optional(keys);
}

// A key stroke that the map turns into the wanted keysym.
struct XTestStroke {
    KeyCode key;
    unsigned group;
    std::vector<KeyCode> modifierKeys;
};

// The group a key takes its symbols from while the keyboard is in group:
// a key with fewer groups brings it into range by its own rule.
unsigned effectiveGroup(XkbDescPtr map, int key, unsigned group) {
    const auto groups = static_cast<unsigned>(XkbKeyNumGroups(map, key));
    if (group < groups)
        return group;
    const unsigned char info = XkbKeyGroupInfo(map, key);
    switch (XkbOutOfRangeGroupAction(info)) {
    case XkbRedirectIntoRange: {
        const auto redirected = static_cast<unsigned>(XkbOutOfRangeGroupNumber(info));
        return redirected < groups ? redirected : 0;
    }
    case XkbClampIntoRange:
        return groups - 1;
    default:
        return group % groups;
    }
}

// The first key and level that gives the keysym itself, else one giving the
// same character; in the active group before all others, so that the group
// changes only for a character the active one lacks; lower levels first.
std::optional<XTestStroke> findStroke(XkbDescPtr map, const Wanted& wanted, unsigned activeGroup,
                                      unsigned heldModifiers) {
    unsigned groups = 0;
    for (int key = map->min_key_code; key <= map->max_key_code; ++key)
        groups = std::max(groups, static_cast<unsigned>(XkbKeyNumGroups(map, key)));
    std::vector<unsigned> groupOrder{activeGroup};
    for (unsigned group = 0; group < groups; ++group) {
        if (group != activeGroup)
            groupOrder.push_back(group);
    }
    for (const bool exact : {true, false}) {
        if (!exact && wanted.character == 0)
            break;
        for (const unsigned group : groupOrder) {
            for (int key = map->min_key_code; key <= map->max_key_code; ++key) {
                if (XkbKeyNumGroups(map, key) == 0)
                    continue;
                const unsigned keyGroup = effectiveGroup(map, key, group);
                const XkbKeyTypeRec& type = *XkbKeyKeyType(map, key, keyGroup);
                for (unsigned level = 0; level < type.num_levels; ++level) {
                    const KeySym keysym = XkbKeySymEntry(map, key, level, keyGroup);
                    const bool gives = exact ? keysym == wanted.keysym
                                             : xkb_keysym_to_utf32(keysym) == wanted.character;
                    if (!gives)
                        continue;
                    const auto added = modifiersForLevel(type, level, heldModifiers);
                    const auto keys = added ? modifierKeys(map, *added) : std::nullopt;
                    if (keys)
                        return XTestStroke{static_cast<KeyCode>(key), group, *keys};
                }
            }
        }
    }
    return std::nullopt;
}

bool isFreeKey(XkbDescPtr map, int key) {
    return key >= map->min_key_code && key <= map->max_key_code && XkbKeyNumGroups(map, key) == 0 &&
           map->map->modmap[key] == 0;
}

} // namespace

// What one call of type() got through.
struct TypedPortion {
    size_t consumed = 0;  // characters typed or skipped, from the front
    bool skipped = false; // a character had no key and none could be bound
    bool sent = true;     // no X error
};

class XTestInjector::Connection {
public:
    Connection(Display* display, std::optional<int> xtestKeyboard)
        : display_(display), device_(xtestKeyboard.value_or(XkbUseCoreKbd)),
          numLock_(XkbKeysymToModifiers(display, XK_Num_Lock)) {}
    ~Connection() {
        unbindAll();
        XCloseDisplay(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Types as much of the text as the spare keys allow, with one fetch of
    // the keyboard map and one map change for all the keys it binds.
    TypedPortion type(std::span<const Wanted> text);
    bool hasBindings() const { return !bound_.empty(); }
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

    KeyboardMap fetchMap(unsigned device) const {
        return KeyboardMap(XkbGetMap(display_, kMapParts, device));
    }
    void fakeKey(KeyCode key, bool press) const {
        XTestFakeKeyEvent(display_, key, press, CurrentTime);
    }
    // The keys for the missing characters of the text, bound where needed;
    // the text ends before the first character that found no key.
    size_t bindMissing(XkbDescPtr map, std::span<const Wanted> text,
                       std::map<KeySym, KeyCode>& keys);
    bool bindKeys(const std::vector<std::pair<KeyCode, KeySym>>& keys);
    std::vector<KeyCode> releaseHeldModifiers(XkbDescPtr map) const;
    void neutralise(XkbDescPtr map, Typing& typing) const;
    void restore(const Typing& typing) const;
    void strike(XkbDescPtr map, const Wanted& wanted, Typing& typing) const;
    void strikeKey(KeyCode key, const std::vector<KeyCode>& modifierKeys) const;

    Display* display_;
    unsigned device_;
    unsigned numLock_;
    // Keys we bound, by keysym, oldest binding first.
    std::vector<std::pair<KeySym, KeyCode>> bound_;
};

TypedPortion XTestInjector::Connection::type(std::span<const Wanted> text) {
    TypedPortion portion;
    ErrorTrap trap(display_);
    const KeyboardMap map = fetchMap(device_);
    Typing typing;
    if (!map || XkbGetState(display_, XkbUseCoreKbd, &typing.before) != Success) {
        portion.consumed = text.size();
        portion.skipped = true;
        portion.sent = false;
        return portion;
    }
    typing.group = typing.before.group;
    typing.modifiers = typing.before.mods;

    std::map<KeySym, KeyCode> spareKeys;
    portion.consumed = bindMissing(map.get(), text, spareKeys);
    for (const Wanted& wanted : text.first(portion.consumed)) {
        if (findStroke(map.get(), wanted, typing.group, 0)) {
            strike(map.get(), wanted, typing);
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
            neutralise(map.get(), typing);
        strikeKey(spare->second, {});
    }
    restore(typing);
    portion.sent = !trap.failed();
    return portion;
}

size_t XTestInjector::Connection::bindMissing(XkbDescPtr map, std::span<const Wanted> text,
                                              std::map<KeySym, KeyCode>& keys) {
    std::vector<KeySym> missing;
    for (const Wanted& wanted : text) {
        if (std::find(missing.begin(), missing.end(), wanted.keysym) == missing.end() &&
            !findStroke(map, wanted, 0, 0))
            missing.push_back(wanted.keysym);
    }
    if (missing.empty())
        return text.size();
    const KeyboardMap core = fetchMap(XkbUseCoreKbd);
    if (!core)
        return text.size();
    const auto neededHere = [&](KeySym keysym) {
        return std::find(missing.begin(), missing.end(), keysym) != missing.end();
    };
    const auto isOurs = [&](int key) {
        return std::any_of(bound_.begin(), bound_.end(),
                           [&](const auto& binding) { return binding.second == key; });
    };
    int nextFree = map->min_key_code;
    std::vector<std::pair<KeyCode, KeySym>> toBind;
    std::optional<KeySym> firstWithoutKey;
    for (const KeySym keysym : missing) {
        const auto ours = std::find_if(bound_.begin(), bound_.end(), [&](const auto& binding) {
            return binding.first == keysym;
        });
        if (ours != bound_.end()) {
            keys[keysym] = ours->second;
            continue;
        }
        while (nextFree <= map->max_key_code &&
               !(isFreeKey(map, nextFree) && isFreeKey(core.get(), nextFree) && !isOurs(nextFree)))
            ++nextFree;
        std::optional<KeyCode> key;
        if (nextFree <= map->max_key_code) {
            key = static_cast<KeyCode>(nextFree++);
        } else {
            // The oldest of our keys that this text does not need.
            const auto reusable = std::find_if(bound_.begin(), bound_.end(),
                                               [&](const auto& b) { return !neededHere(b.first); });
            if (reusable != bound_.end()) {
                key = reusable->second;
                bound_.erase(reusable);
            }
        }
        if (!key) {
            firstWithoutKey = keysym;
            break;
        }
        keys[keysym] = *key;
        bound_.emplace_back(keysym, *key);
        toBind.emplace_back(*key, keysym);
    }
    if (!toBind.empty() && !bindKeys(toBind)) {
        for (const auto& [key, keysym] : toBind) {
            keys.erase(keysym);
            std::erase_if(bound_, [&](const auto& binding) { return binding.second == key; });
        }
    }
    if (!firstWithoutKey || keys.empty())
        return text.size(); // no key at all: those characters are skipped
    const auto cut = std::find_if(text.begin(), text.end(),
                                  [&](const Wanted& w) { return w.keysym == *firstWithoutKey; });
    return static_cast<size_t>(cut - text.begin());
}

// Gives each key one group of the one-level type with its keysym, or no
// groups at all for NoSymbol, in one map change. Sent for the core keyboard,
// the change reaches every keyboard attached to it, the XTest one included.
bool XTestInjector::Connection::bindKeys(const std::vector<std::pair<KeyCode, KeySym>>& keys) {
    const KeyboardMap core = fetchMap(XkbUseCoreKbd);
    if (!core || keys.empty())
        return false;
    XkbMapChangesRec changes{};
    int first = core->max_key_code;
    int last = core->min_key_code;
    for (const auto& [key, keysym] : keys) {
        const bool binding = keysym != NoSymbol;
        std::array<int, XkbNumKbdGroups> types{XkbOneLevelIndex};
        if (XkbChangeTypesOfKey(core.get(), key, binding ? 1 : 0, XkbGroup1Mask, types.data(),
                                &changes) != Success)
            return false;
        if (binding)
            XkbKeySymsPtr(core.get(), key)[0] = keysym;
        core->server->c_explicit[key] = binding ? XkbExplicitKeyType1Mask : 0;
        first = std::min<int>(first, key);
        last = std::max<int>(last, key);
    }
    changes.changed |= XkbKeySymsMask | XkbExplicitComponentsMask;
    changes.first_key_sym = static_cast<KeyCode>(first);
    changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
    changes.first_key_explicit = static_cast<KeyCode>(first);
    changes.num_key_explicit = static_cast<unsigned char>(last - first + 1);
    return XkbChangeMap(display_, core.get(), &changes);
}

void XTestInjector::Connection::unbindAll() {
    if (bound_.empty())
        return;
    ErrorTrap trap(display_);
    std::vector<std::pair<KeyCode, KeySym>> keys;
    for (const auto& [keysym, key] : bound_)
        keys.emplace_back(key, NoSymbol);
    bound_.clear();
    bindKeys(keys);
}

// Releases the modifier keys that are down, as far as the server lets fake
// events release them, and returns those that went up.
std::vector<KeyCode> XTestInjector::Connection::releaseHeldModifiers(XkbDescPtr map) const {
    std::array<char, 32> down{};
    XQueryKeymap(display_, down.data());
    const auto isDown = [&](int key) { return (down[key / 8] >> (key % 8)) & 1; };
    std::vector<KeyCode> modifiers;
    for (int key = map->min_key_code; key <= map->max_key_code; ++key) {
        if (isDown(key) && map->map->modmap[key] != 0) {
            modifiers.push_back(static_cast<KeyCode>(key));
            fakeKey(static_cast<KeyCode>(key), false);
        }
    }
    XQueryKeymap(display_, down.data());
    std::erase_if(modifiers, isDown);
    return modifiers;
}

void XTestInjector::Connection::neutralise(XkbDescPtr map, Typing& typing) const {
    if (typing.neutral)
        return;
    typing.neutral = true;
    typing.released = releaseHeldModifiers(map);
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

void XTestInjector::Connection::strike(XkbDescPtr map, const Wanted& wanted, Typing& typing) const {
    auto stroke = findStroke(map, wanted, typing.group, typing.modifiers);
    if (!stroke) {
        // Only the locks or the modifiers held rule every key out.
        neutralise(map, typing);
        stroke = findStroke(map, wanted, typing.group, typing.modifiers);
    }
    if (!stroke)
        return;
    if (stroke->group != typing.group) {
        XkbLockGroup(display_, XkbUseCoreKbd, stroke->group);
        typing.group = stroke->group;
    }
    strikeKey(stroke->key, stroke->modifierKeys);
}

void XTestInjector::Connection::strikeKey(KeyCode key,
                                          const std::vector<KeyCode>& modifierKeys) const {
    for (const KeyCode modifier : modifierKeys)
        fakeKey(modifier, true);
    fakeKey(key, true);
    fakeKey(key, false);
    for (auto modifier = modifierKeys.rbegin(); modifier != modifierKeys.rend(); ++modifier)
        fakeKey(*modifier, false);
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
    const std::optional<int> xtest = [&] {
        // An error here only means that the core keyboard's map is used.
        ErrorTrap trap(display);
        return xtestKeyboard(display);
    }();
    opening.injector = std::unique_ptr<XTestInjector>(
        new XTestInjector(std::make_unique<Connection>(display, xtest), std::move(later)));
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
