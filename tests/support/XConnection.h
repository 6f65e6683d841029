#pragma once

#include <string>

struct _XDisplay;

namespace pelvaro::test {

// A connection of the test's own to an X server, closed with the object; the
// base of the helpers that look at the server through one.
class XConnection {
public:
    explicit XConnection(const std::string& displayName); // throws std::runtime_error
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

protected:
    _XDisplay* const display_;
};

} // namespace pelvaro::test
