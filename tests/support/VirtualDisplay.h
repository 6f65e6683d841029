#pragma once

#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::test {

// An X server of its own (Xvfb, no window manager) on the first free display,
// stopped with the object. Programs started through it see only this server.
class VirtualDisplay {
public:
    // serverOptions: more options of Xvfb, such as "-extension", "XTEST".
    // Throws std::runtime_error if it does not come up.
    VirtualDisplay(int width, int height, const std::vector<std::string>& serverOptions = {});
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N"
    const std::string& name() const { return name_; }
    // Our environment with DISPLAY naming this server; Qt programs started
    // with it use this server whatever session the caller runs in.
    std::vector<std::string> environment() const;
    // Runs an X client on this server and returns its standard output lines,
    // or nothing if it fails or does not end in time.
    std::optional<std::vector<std::string>>
    run(const std::vector<std::string>& command,
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // The id of a window whose name matches the pattern, mapped or not, or
    // nothing if there is none.
    std::optional<std::string> findWindow(const std::string& namePattern) const;

private:
    TempDir runtimeDirectory_;
    std::unique_ptr<ServerProcess> server_;
    std::string name_;
};

} // namespace pelvaro::test
