#pragma once

#include "KeystrokeInjector.h"

#include <memory>
#include <string>

namespace pelvaro {

// Key strokes through the XTest extension of an X server, on a connection of
// its own. A character is typed with a key and level that the keyboard map
// already has for it, else through a spare key bound to it for that one
// stroke; Caps Lock and modifiers held down are lifted while it is typed and
// put back afterwards.
class XTestInjector final : public KeystrokeInjector {
public:
    // Connects to the named X server, or to DISPLAY's when the name is empty.
    // Nothing when it cannot be reached or lacks the XTest or XKB extension.
    static std::unique_ptr<XTestInjector> open(const std::string& displayName = {});
    ~XTestInjector() override;

    // False, with nothing sent, when the character is in no key of the map and
    // no keycode is free to bind it; also on an X error.
    bool typeCharacter(char32_t character) override;
    bool pressEnter() override;

private:
    class Connection;

    explicit XTestInjector(std::unique_ptr<Connection> connection);

    std::unique_ptr<Connection> connection_;
};

} // namespace pelvaro
