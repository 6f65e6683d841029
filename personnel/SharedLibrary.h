#pragma once

#include <filesystem>
#include <memory>

namespace pelvaro {

// A shared library loaded from a full path, never found by a search, and
// unloaded when the object goes.
class SharedLibrary {
public:
    // Nothing when the file cannot be loaded.
    static std::unique_ptr<SharedLibrary> load(const std::filesystem::path& file);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or null when the library lacks it.
    void* symbol(const char* name) const;

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}

    void* handle_;
};

} // namespace pelvaro
