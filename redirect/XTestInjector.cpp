#include "XTestInjector.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <array>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

using namespace std::chrono_literals;

// A client looks a key up in its copy of the keyboard map when it handles the
// event, and fetches that copy anew after a map change. The spare key keeps its
// binding this long after the stroke, so that the client reads the binding the
// stroke was sent with.
constexpr auto kClientCatchUp = 30ms;

constexpr unsigned kMapParts = XkbAllClientInfoMask | XkbKeyActionsMask | XkbExplicitComponentsMask;

// What to type: a keysym, and the character that other keysyms may also give
// (0 for a key without one, such as Return).
struct Wanted {
    KeySym keysym;
    char32_t character;
};

Wanted wantedCharacter(char32_t character) {
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
struct Stroke {
    KeyCode key;
    unsigned group;
    std::vector<KeyCode> modifierKeys;
};

// The first key and level that gives the keysym itself, else one giving the
// same character; the active group before all others, lower levels first.
std::optional<Stroke> findStroke(XkbDescPtr map, const Wanted& wanted, unsigned activeGroup,
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
                if (group >= static_cast<unsigned>(XkbKeyNumGroups(map, key)))
                    continue;
                const XkbKeyTypeRec& type = *XkbKeyKeyType(map, key, group);
                for (unsigned level = 0; level < type.num_levels; ++level) {
                    const KeySym keysym = XkbKeySymEntry(map, key, level, group);
                    const bool gives = exact ? keysym == wanted.keysym
                                             : xkb_keysym_to_utf32(keysym) == wanted.character;
                    if (!gives)
                        continue;
                    const auto added = modifiersForLevel(type, level, heldModifiers);
                    const auto keys = added ? modifierKeys(map, *added) : std::nullopt;
                    if (keys)
                        return Stroke{static_cast<KeyCode>(key), group, *keys};
                }
            }
        }
    }
    return std::nullopt;
}

} // namespace

class XTestInjector::Connection {
public:
    Connection(Display* display, std::optional<int> xtestKeyboard)
        : display_(display), device_(xtestKeyboard.value_or(XkbUseCoreKbd)) {}
    ~Connection() { XCloseDisplay(display_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool type(const Wanted& wanted);

private:
    KeyboardMap fetchMap(unsigned device) const {
        return KeyboardMap(XkbGetMap(display_, kMapParts, device));
    }
    void fakeKey(KeyCode key, bool press) const {
        XTestFakeKeyEvent(display_, key, press, CurrentTime);
    }
    std::vector<KeyCode> releaseHeldModifiers(XkbDescPtr map) const;
    bool strike(XkbDescPtr map, const Wanted& wanted, const XkbStateRec& state,
                unsigned lockedGroup) const;
    bool typeOnSpareKey(XkbDescPtr map, KeySym keysym) const;
    bool bindKey(XkbDescPtr core, KeyCode key, std::optional<KeySym> keysym) const;

    Display* display_;
    unsigned device_;
};

bool XTestInjector::Connection::type(const Wanted& wanted) {
    ErrorTrap trap(display_);
    const KeyboardMap map = fetchMap(device_);
    XkbStateRec before{};
    if (!map || XkbGetState(display_, XkbUseCoreKbd, &before) != Success)
        return false;
    const std::vector<KeyCode> released = releaseHeldModifiers(map.get());
    if (before.locked_mods)
        XkbLockModifiers(display_, XkbUseCoreKbd, before.locked_mods, 0);
    if (before.latched_mods)
        XkbLatchModifiers(display_, XkbUseCoreKbd, before.latched_mods, 0);
    // Modifiers still in force are held on another device and stay.
    XkbStateRec neutral{};
    const bool sent = XkbGetState(display_, XkbUseCoreKbd, &neutral) == Success &&
                      strike(map.get(), wanted, neutral, before.locked_group);
    if (before.locked_mods)
        XkbLockModifiers(display_, XkbUseCoreKbd, before.locked_mods, before.locked_mods);
    if (before.latched_mods)
        XkbLatchModifiers(display_, XkbUseCoreKbd, before.latched_mods, before.latched_mods);
    for (const KeyCode modifier : released)
        fakeKey(modifier, true);
    return !trap.failed() && sent;
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

bool XTestInjector::Connection::strike(XkbDescPtr map, const Wanted& wanted,
                                       const XkbStateRec& state, unsigned lockedGroup) const {
    const auto stroke = findStroke(map, wanted, state.group, state.mods);
    if (!stroke)
        return typeOnSpareKey(map, wanted.keysym);
    if (stroke->group != state.group)
        XkbLockGroup(display_, XkbUseCoreKbd, stroke->group);
    for (const KeyCode modifier : stroke->modifierKeys)
        fakeKey(modifier, true);
    fakeKey(stroke->key, true);
    fakeKey(stroke->key, false);
    for (auto modifier = stroke->modifierKeys.rbegin(); modifier != stroke->modifierKeys.rend();
         ++modifier)
        fakeKey(*modifier, false);
    if (stroke->group != state.group)
        XkbLockGroup(display_, XkbUseCoreKbd, lockedGroup);
    return true;
}

// Binds a key without symbols, in the XTest keyboard's map and the core
// keyboard's, to the keysym alone, strikes it and frees it again.
bool XTestInjector::Connection::typeOnSpareKey(XkbDescPtr map, KeySym keysym) const {
    const KeyboardMap core = fetchMap(XkbUseCoreKbd);
    if (!core)
        return false;
    const auto isFree = [](XkbDescPtr keys, int key) {
        return key >= keys->min_key_code && key <= keys->max_key_code &&
               XkbKeyNumGroups(keys, key) == 0 && keys->map->modmap[key] == 0;
    };
    int spare = map->min_key_code;
    while (spare <= map->max_key_code && !(isFree(map, spare) && isFree(core.get(), spare)))
        ++spare;
    if (spare > map->max_key_code)
        return false;
    const auto key = static_cast<KeyCode>(spare);
    if (!bindKey(core.get(), key, keysym))
        return false;
    fakeKey(key, true);
    fakeKey(key, false);
    XSync(display_, False);
    std::this_thread::sleep_for(kClientCatchUp);
    return bindKey(core.get(), key, std::nullopt);
}

// Gives the key one group of the one-level type with the keysym, or no
// groups at all. Sent for the core keyboard, the change reaches every
// keyboard attached to it, the XTest one included.
bool XTestInjector::Connection::bindKey(XkbDescPtr core, KeyCode key,
                                        std::optional<KeySym> keysym) const {
    XkbMapChangesRec changes{};
    std::array<int, XkbNumKbdGroups> types{XkbOneLevelIndex};
    if (XkbChangeTypesOfKey(core, key, keysym ? 1 : 0, XkbGroup1Mask, types.data(), &changes) !=
        Success)
        return false;
    if (keysym)
        XkbKeySymsPtr(core, key)[0] = *keysym;
    core->server->c_explicit[key] = keysym ? XkbExplicitKeyType1Mask : 0;
    changes.changed |= XkbKeySymsMask | XkbExplicitComponentsMask;
    changes.first_key_sym = key;
    changes.num_key_syms = 1;
    changes.first_key_explicit = key;
    changes.num_key_explicit = 1;
    return XkbChangeMap(display_, core, &changes);
}

XTestInjector::XTestInjector(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

XTestInjector::~XTestInjector() = default;

std::unique_ptr<XTestInjector> XTestInjector::open(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display)
        return nullptr;
    int event = 0;
    int error = 0;
    int opcode = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor) ||
        !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    const std::optional<int> xtest = [&] {
        // An error here only means that the core keyboard's map is used.
        ErrorTrap trap(display);
        return xtestKeyboard(display);
    }();
    return std::unique_ptr<XTestInjector>(
        new XTestInjector(std::make_unique<Connection>(display, xtest)));
}

bool XTestInjector::typeCharacter(char32_t character) {
    return connection_->type(wantedCharacter(character));
}

bool XTestInjector::pressEnter() {
    return connection_->type({XK_Return, 0});
}

std::unique_ptr<KeystrokeInjector> makeKeystrokeInjector() {
    return XTestInjector::open();
}

} // namespace pelvaro
