#include "personnel/SharedLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace pelvaro {

void restrictLibrarySearch() {}

std::unique_ptr<SharedLibrary> SharedLibrary::load(const std::filesystem::path& file) {
    // A path with a slash in it is loaded as it stands; dlopen searches only bare names.
    return adopt(::dlopen(std::filesystem::absolute(file).c_str(), RTLD_NOW | RTLD_LOCAL));
}

std::unique_ptr<SharedLibrary> SharedLibrary::loadInstalled(const char* name) {
    return adopt(::dlopen(name, RTLD_NOW | RTLD_LOCAL));
}

SharedLibrary::~SharedLibrary() {
    ::dlclose(handle_);
}

void SharedLibrary::stayLoaded() const {
    // Opening it again with RTLD_NODELETE marks the loaded library itself.
    if (void* again = ::dlopen(file().c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
        ::dlclose(again);
}

void* SharedLibrary::symbol(const char* name) const {
    return ::dlsym(handle_, name);
}

std::filesystem::path SharedLibrary::file() const {
    link_map* map = nullptr;
    if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    return map->l_name;
}

} // namespace pelvaro
