#include "tests/keyboard/KeystrokeReceiver.h"

#include "tests/support/Polling.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <array>
#include <cstdio>
#include <string>
#include <thread>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro::test {

namespace {

void report(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void reportKeyPress(XKeyEvent& event) {
    std::array<char, 32> bytes{};
    KeySym keysym = NoSymbol;
    XLookupString(&event, bytes.data(), bytes.size(), &keysym, nullptr);
    if (keysym == XK_Return) {
        report("return");
        return;
    }
    // The character as a toolkit gives it; modifier keys give none.
    std::array<char, 8> utf8{};
    if (xkb_keysym_to_utf8(keysym, utf8.data(), utf8.size()) > 1)
        report(std::string("text ") + utf8.data());
}

} // namespace

int runKeystrokeReceiver(std::chrono::milliseconds lag) {
    Display* display = XOpenDisplay(nullptr);
    int xkbEvent = 0;
    if (!display || !XkbQueryExtension(display, nullptr, &xkbEvent, nullptr, nullptr, nullptr))
        return 1;
    // As toolkits do: a new keyboard (the server switching the core keyboard
    // to another device's map) and map changes are taken in at once.
    constexpr unsigned long kMapEvents = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    XkbSelectEvents(display, XkbUseCoreKbd, kMapEvents, kMapEvents);
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100,
                                              0, 0, WhitePixel(display, DefaultScreen(display)));
    XSelectInput(display, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case MapNotify:
            XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
            break;
        case FocusIn:
            report("ready");
            break;
        case KeyPress:
            std::this_thread::sleep_for(lag);
            reportKeyPress(event.xkey);
            break;
        default:
            if (event.type == xkbEvent) {
                // Xlib reloads its map on a new keyboard by itself.
                auto& xkb = reinterpret_cast<XkbEvent&>(event);
                if (xkb.any.xkb_type == XkbMapNotify)
                    XkbRefreshKeyboardMapping(&xkb.map);
                report("mapping");
            }
            break;
        }
    }
}

KeystrokeReceiverProcess::KeystrokeReceiverProcess(const VirtualDisplay& display,
                                                   std::chrono::milliseconds lag)
    : process_({"/proc/self/exe", std::string(kReceiverOption), std::to_string(lag.count())},
               display.environment()) {}

bool KeystrokeReceiverProcess::waitUntilReady(std::chrono::milliseconds timeout) {
    return process_.readLine(timeout) == "ready";
}

ReceivedLine KeystrokeReceiverProcess::receiveLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    ReceivedLine received;
    while (const auto line = process_.readLine(timeLeft(deadline))) {
        if (*line == "return") {
            received.text += '\n';
            received.complete = true;
            break;
        }
        if (line->starts_with("text "))
            received.text += line->substr(5);
        else if (*line == "mapping")
            ++received.mapChanges;
    }
    return received;
}

} // namespace pelvaro::test
