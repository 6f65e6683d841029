#include "keyboard/ei/EiKeyboard.h"

#include "keyboard/ei/EiLibrary.h"
#include "keyboard/xkb/XkbKeycodeOffset.h"

#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace pelvaro {

namespace {

// The name the desktop may show for the connection.
constexpr char kClientName[] = "Pelvaro";

} // namespace

EiKeyboard::EiKeyboard(const EiLibrary& library, ei* context)
    : library_(library), context_(context) {}

EiKeyboard::~EiKeyboard() {
    if (device_)
        library_.deviceUnref(device_);
    xkb_keymap_unref(keymap_);
    library_.unref(context_);
}

std::unique_ptr<EiKeyboard> EiKeyboard::connect(const EiLibrary& library, int fd,
                                                std::chrono::milliseconds patience) {
    ei* context = library.newSender(nullptr);
    if (!context) {
        close(fd);
        return nullptr;
    }
    std::unique_ptr<EiKeyboard> keyboard(new EiKeyboard(library, context));
    library.configureName(context, kClientName);
    if (library.setupBackendFd(context, fd) != 0)
        return nullptr;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!keyboard->ready() && keyboard->connected_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return nullptr;
        keyboard->take(left);
    }
    return keyboard->ready() ? std::move(keyboard) : nullptr;
}

void EiKeyboard::take(std::chrono::milliseconds timeout) {
    pollfd readable{library_.getFd(context_), POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(timeout.count())) <= 0)
        return;
    library_.dispatch(context_);
    while (ei_event* event = library_.getEvent(context_)) {
        ei_device* device = library_.eventGetDevice(event);
        switch (library_.eventGetType(event)) {
        case EiLibrary::SeatAdded:
            library_.seatBindCapabilities(library_.eventGetSeat(event),
                                          static_cast<int>(EiLibrary::kCapabilityKeyboard),
                                          nullptr);
            break;
        case EiLibrary::DeviceAdded:
            if (!device_ && library_.deviceHasCapability(device, EiLibrary::kCapabilityKeyboard)) {
                device_ = library_.deviceRef(device);
                takeKeymap();
            }
            break;
        case EiLibrary::DeviceResumed:
            if (device == device_) {
                library_.deviceStartEmulating(device_, ++sequence_);
                resumed_ = true;
            }
            break;
        case EiLibrary::DevicePaused:
            resumed_ = resumed_ && device != device_;
            break;
        case EiLibrary::DeviceRemoved:
            if (device == device_) {
                library_.deviceUnref(device_);
                device_ = nullptr;
                resumed_ = false;
            }
            break;
        case EiLibrary::KeyboardModifiers:
            if (device == device_)
                modifiers_ = {library_.modsDepressed(event), library_.modsLatched(event),
                              library_.modsLocked(event), library_.group(event)};
            break;
        case EiLibrary::Disconnect:
            connected_ = false;
            resumed_ = false;
            break;
        default:
            break;
        }
        library_.eventUnref(event);
    }
}

// The desktop's keymap arrives as a file of XKB's text format.
void EiKeyboard::takeKeymap() {
    ei_keymap* keymap = library_.deviceKeymap(device_);
    if (!keymap || library_.keymapType(keymap) != EiLibrary::kKeymapXkb)
        return;
    const size_t size = library_.keymapSize(keymap);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, library_.keymapFd(keymap), 0);
    if (mapped == MAP_FAILED)
        return;
    const char* text = static_cast<const char*>(mapped);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (context) {
        keymap_ = xkb_keymap_new_from_buffer(context, text, strnlen(text, size),
                                             XKB_KEYMAP_FORMAT_TEXT_V1,
                                             XKB_KEYMAP_COMPILE_NO_FLAGS);
        xkb_context_unref(context);
    }
    munmap(mapped, size);
}

ModifierState EiKeyboard::modifiers() {
    take(std::chrono::milliseconds(0));
    return modifiers_;
}

bool EiKeyboard::key(xkb_keycode_t key, bool pressed) {
    if (!ready())
        take(std::chrono::milliseconds(0));
    if (!ready())
        return false;
    library_.deviceKeyboardKey(device_, key - kXkbOffset, pressed);
    library_.deviceFrame(device_, library_.now(context_));
    return true;
}

} // namespace pelvaro
