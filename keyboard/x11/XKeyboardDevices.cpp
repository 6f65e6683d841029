#include "keyboard/x11/XKeyboardDevices.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/extensions/XInput2.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace pelvaro {

namespace {

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

} // namespace

std::optional<int> coreKeyboard(Display* display) {
    XkbDeviceInfoPtr info = XkbGetDeviceInfo(display, 0, XkbUseCoreKbd, 0, 0);
    if (!info)
        return std::nullopt;
    const int device = info->device_spec;
    XkbFreeDeviceInfo(info, XkbXI_AllFeaturesMask, True);
    return device;
}

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

Keymap deviceKeymap(Display* display, xkb_context* context, int device) {
    if (!context)
        return nullptr;
    return Keymap(xkb_x11_keymap_new_from_device(context, XGetXCBConnection(display), device,
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS));
}

std::set<KeyCode> coreModifierKeys(Display* display) {
    std::set<KeyCode> keys;
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (!modifiers)
        return keys;
    for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        if (modifiers->modifiermap[i] != 0)
            keys.insert(modifiers->modifiermap[i]);
    }
    XFreeModifiermap(modifiers);
    return keys;
}

} // namespace pelvaro
