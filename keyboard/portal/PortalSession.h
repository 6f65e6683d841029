#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pelvaro {

class PortalListener;

// A remote desktop session with a keyboard, through the desktop portal
// (org.freedesktop.portal.RemoteDesktop) on the session bus. Its requests are
// answered by signals: they are waited for in a local event loop that takes
// no user input, so the program needs a QCoreApplication.
class PortalSession {
public:
    // The portal's RemoteDesktop interface as the bus shows it.
    struct Portal {
        unsigned version = 0;
        unsigned deviceTypes = 0; // bit 1: the keyboard
    };
    enum class Lookup { Found, NoSessionBus, NoPortal };
    struct Probe {
        Lookup lookup = Lookup::NoPortal;
        Portal portal;
    };
    static constexpr unsigned kKeyboard = 1;

    // Reads the interface's properties only: asks the user nothing.
    static Probe probe();

    enum class Outcome { Started, Refused, Failed, TimedOut };
    struct Start {
        Outcome outcome = Outcome::Failed;
        std::string restoreToken; // the next one, from portals that hand them out
    };

    PortalSession();
    ~PortalSession();
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    // CreateSession, SelectDevices for the keyboard (kept by the desktop,
    // restored with the token from the last start when there is one), Start;
    // each answer waited for at most patience (a person may be asked).
    Start start(const std::string& restoreToken, std::chrono::milliseconds patience);
    // Started, and not closed by the desktop since (the screen lock does).
    bool isOpen() const { return open_; }
    // One press or release of the key giving the keysym in the desktop's layout.
    bool key(uint32_t keysym, bool pressed);
    // A connection for libei to the started session's input (RemoteDesktop
    // version 2 on); -1 when the portal gives none. The caller owns it.
    int connectToEis();

private:
    std::string handle_; // the session's object path once created
    std::unique_ptr<PortalListener> closedListener_;
    bool open_ = false;
};

} // namespace pelvaro
