#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualDisplay.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::test {

// The program as a user runs it, on an X server of the test's or in another
// desktop session: a copy in a program directory of its own, since it reads
// Pelvaro.ini and the SQLite library from beside itself.
class DesktopProgram {
public:
    explicit DesktopProgram(const VirtualDisplay& display);
    // In a session given by its environment (a Wayland one).
    explicit DesktopProgram(std::vector<std::string> environment);

    const std::filesystem::path& directory() const { return directory_.path(); }
    std::filesystem::path settingsFile() const { return directory() / "Pelvaro.ini"; }
    void writeSettings(const std::string& settings) const;
    // Puts the SQLite library beside the program: the personnel features are on.
    void addSqliteLibrary() const;
    // The variable as the program will see it ("NAME=value"), ours replaced.
    void setVariable(const std::string& assignment);

    // Starts it and waits for its main window, mapped or not: the window's
    // id, or nothing when none came in time. Only on an X server.
    std::optional<std::string> start();
    // Starts it without waiting for anything, behind the command that runs it
    // as another user if one is given.
    void launch(const std::vector<std::string>& asUser = {});
    ChildProcess& process() { return *process_; }
    // What it wrote on standard error, once it has ended; for failure reports.
    std::string errorOutputIfEnded();

private:
    const VirtualDisplay* display_ = nullptr;
    std::vector<std::string> environment_;
    TempDir directory_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace pelvaro::test
