#pragma once

#include <filesystem>
#include <memory>

namespace pelvaro {

// A shared library, unloaded when the object goes.
class SharedLibrary {
public:
    // From a full path, never found by a search; nothing when the file
    // cannot be loaded.
    static std::unique_ptr<SharedLibrary> load(const std::filesystem::path& file);
    // By its name, where the system keeps its libraries.
    static std::unique_ptr<SharedLibrary> loadInstalled(const char* name);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or null when the library lacks it.
    void* symbol(const char* name) const;
    // The file it was loaded from.
    std::filesystem::path file() const;

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    // Owns a handle of the loader; nothing for none.
    static std::unique_ptr<SharedLibrary> adopt(void* handle) {
        return handle ? std::unique_ptr<SharedLibrary>(new SharedLibrary(handle)) : nullptr;
    }

    void* handle_;
};

} // namespace pelvaro
