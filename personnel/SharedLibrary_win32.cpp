#include "personnel/SharedLibrary.h"

#include <windows.h>

namespace pelvaro {

void restrictLibrarySearch() {
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

std::unique_ptr<SharedLibrary> SharedLibrary::load(const std::filesystem::path& file) {
    // The library's own dependencies may come from its directory, and
    // otherwise only from where restrictLibrarySearch() allows.
    return adopt(
        ::LoadLibraryExW(std::filesystem::absolute(file).c_str(), nullptr,
                         LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
}

std::unique_ptr<SharedLibrary> SharedLibrary::loadInstalled(const char* name) {
    return adopt(::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

SharedLibrary::~SharedLibrary() {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void SharedLibrary::stayLoaded() const {
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, file().c_str(), &pinned);
}

void* SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::filesystem::path SharedLibrary::file() const {
    wchar_t name[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(static_cast<HMODULE>(handle_), name, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::filesystem::path(name) : std::filesystem::path();
}

} // namespace pelvaro
