#pragma once

#include <filesystem>
#include <memory>

namespace pelvaro {

// From now on a library loaded by its bare name, by us, Qt or a shell
// extension in the file dialog, comes from the program's directory or the
// system's, never from the current directory or PATH, where anyone may have
// put one. The first thing each program does. Linux's loader searches no
// current directory, so there it has nothing to do.
void restrictLibrarySearch();

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

    // Never unloaded from now on, even when the object goes: for a library
    // that leaves state in others (libpq in OpenSSL) which would then point
    // into nothing.
    void stayLoaded() const;
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
