#pragma once

#include <filesystem>
#include <string>

namespace pelvaro::test {

// A small filesystem of the test's own (a tmpfs of 1 MiB, which needs root to
// mount), to be filled up around what the test keeps there.
class SmallFilesystem {
public:
    explicit SmallFilesystem(const std::filesystem::path& where);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return mounted_; }
    // Why it could not be mounted.
    const std::string& error() const { return error_; }

    // Takes what space is left.
    void fill();
    void free();

private:
    std::filesystem::path where_;
    bool mounted_ = false;
    std::string error_;
};

} // namespace pelvaro::test
