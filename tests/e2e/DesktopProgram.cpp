#include "tests/e2e/DesktopProgram.h"

#include "tests/support/Polling.h"

#include <fstream>

namespace pelvaro::test {

namespace {

constexpr const char* kProgramName = "pelvaro";

} // namespace

DesktopProgram::DesktopProgram(const VirtualDisplay& display)
    : DesktopProgram(display.environment()) {
    display_ = &display;
}

DesktopProgram::DesktopProgram(std::vector<std::string> environment)
    : environment_(std::move(environment)) {
    std::filesystem::copy_file(PROGRAM_EXE, directory() / kProgramName);
}

void DesktopProgram::writeSettings(const std::string& settings) const {
    std::ofstream(settingsFile(), std::ios::binary) << settings;
}

void DesktopProgram::addSqliteLibrary() const {
    std::filesystem::copy_file(std::filesystem::path(PROGRAM_EXE).parent_path() / "libsqlite3.so.0",
                               directory() / "libsqlite3.so.0");
}

void DesktopProgram::setVariable(const std::string& assignment) {
    const std::string name = assignment.substr(0, assignment.find('=') + 1);
    std::erase_if(environment_,
                  [&](const std::string& variable) { return variable.starts_with(name); });
    environment_.push_back(assignment);
}

std::optional<std::string> DesktopProgram::start() {
    launch();
    return waitFor([&] { return display_->findWindow("^Pelvaro Version3$"); });
}

void DesktopProgram::launch(const std::vector<std::string>& asUser) {
    std::vector<std::string> command = asUser;
    command.push_back((directory() / kProgramName).string());
    process_ = std::make_unique<ChildProcess>(command, environment_);
}

std::string DesktopProgram::errorOutputIfEnded() {
    using namespace std::chrono_literals;
    if (!process_ || !process_->waitForExit(0ms))
        return "(still running)";
    return process_->errorOutput();
}

} // namespace pelvaro::test
