#pragma once

#include "tools/simulator/ReaderSimulator.h"

#include <filesystem>
#include <optional>

namespace pelvaro::test {

// A simulated reader behind a symbolic link, unplugged and plugged in again
// as a USB reader is: every plug-in is a new pseudo-terminal, and the link
// moves to it as the links of /dev/serial/by-id do.
class PluggableReader {
public:
    explicit PluggableReader(std::filesystem::path link) : link_(std::move(link)) { plugIn(); }

    void plugIn() {
        reader_.emplace();
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(reader_->devicePath(), link_);
    }
    void unplug() { reader_->hangUp(); }

    sim::ReaderSimulator& reader() { return *reader_; }
    const std::filesystem::path& link() const { return link_; }

private:
    std::filesystem::path link_;
    std::optional<sim::ReaderSimulator> reader_;
};

} // namespace pelvaro::test
