#include "personnel/SharedLibrary.h"

#include <windows.h>

namespace pelvaro {

std::unique_ptr<SharedLibrary> SharedLibrary::load(const std::filesystem::path& file) {
    // The altered search path lets the library's own dependencies load from its directory.
    return adopt(::LoadLibraryExW(std::filesystem::absolute(file).c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH));
}

std::unique_ptr<SharedLibrary> SharedLibrary::loadInstalled(const char* name) {
    return adopt(::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

SharedLibrary::~SharedLibrary() {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
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
