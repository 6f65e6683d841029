#include "SharedLibrary.h"

#include <windows.h>

namespace pelvaro {

std::unique_ptr<SharedLibrary> SharedLibrary::load(const std::filesystem::path& file) {
    // The altered search path lets the library's own dependencies load from its directory.
    HMODULE module = ::LoadLibraryExW(std::filesystem::absolute(file).c_str(), nullptr,
                                      LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        return nullptr;
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(module));
}

SharedLibrary::~SharedLibrary() {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

} // namespace pelvaro
