#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct ei;
struct ei_event;
struct ei_seat;
struct ei_device;
struct ei_keymap;

namespace pelvaro {

class SharedLibrary;

// The part of libei's C interface that typing uses, bound at run time to
// libei.so.1 where the system has it.
struct EiLibrary {
    // Values of libei's enums.
    static constexpr unsigned kCapabilityKeyboard = 1u << 2;
    static constexpr int kKeymapXkb = 1;
    enum EventType : int {
        Connect = 1,
        Disconnect = 2,
        SeatAdded = 3,
        SeatRemoved = 4,
        DeviceAdded = 5,
        DeviceRemoved = 6,
        DevicePaused = 7,
        DeviceResumed = 8,
        KeyboardModifiers = 9,
    };

    // The library once loaded with every function below; null without it.
    static const EiLibrary* get();
    // Its version, from the file's name ("1.3.901"); empty without it.
    std::string version;

    ei* (*newSender)(void* userData);
    ei* (*unref)(ei*);
    void (*configureName)(ei*, const char* name);
    int (*setupBackendFd)(ei*, int fd);
    int (*getFd)(ei*);
    void (*dispatch)(ei*);
    ei_event* (*getEvent)(ei*);
    uint64_t (*now)(ei*);
    int (*eventGetType)(ei_event*);
    ei_event* (*eventUnref)(ei_event*);
    ei_seat* (*eventGetSeat)(ei_event*);
    ei_device* (*eventGetDevice)(ei_event*);
    uint32_t (*modsDepressed)(ei_event*);
    uint32_t (*modsLatched)(ei_event*);
    uint32_t (*modsLocked)(ei_event*);
    uint32_t (*group)(ei_event*);
    void (*seatBindCapabilities)(ei_seat*, ...);
    bool (*deviceHasCapability)(ei_device*, unsigned capability);
    ei_device* (*deviceRef)(ei_device*);
    ei_device* (*deviceUnref)(ei_device*);
    void (*deviceStartEmulating)(ei_device*, uint32_t sequence);
    void (*deviceKeyboardKey)(ei_device*, uint32_t keycode, bool pressed);
    void (*deviceFrame)(ei_device*, uint64_t time);
    ei_keymap* (*deviceKeymap)(ei_device*);
    int (*keymapType)(ei_keymap*);
    int (*keymapFd)(ei_keymap*);
    size_t (*keymapSize)(ei_keymap*);

private:
    std::unique_ptr<SharedLibrary> library_;
    friend struct EiLibraryLoader;
};

} // namespace pelvaro
