#pragma once

#include <string>

namespace pelvaro {

// Why a port did not open, as the port found it.
struct PortProblem {
    enum class Kind {
        None,
        NotMapped,    // the port number names no device
        Missing,      // the device is not there, or no longer the port's
        Busy,         // another program holds it
        NoPermission, // the user may not open it
        NotSerial,    // it opens, but is no serial line the reader can use
        Other,        // anything else: the system's text says what
    };
    Kind kind = Kind::None;
    std::string device;     // the device tried; empty when none is named
    std::string systemText; // what the system said, for Other

    bool operator==(const PortProblem&) const = default;
};

// What the user is told of it: a clause that goes after "… nicht öffnen: ",
// ending with a full stop; empty for none.
std::string portProblemText(const PortProblem& problem);

} // namespace pelvaro
