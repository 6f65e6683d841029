#include "tests/support/SmallFilesystem.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/mount.h>

namespace pelvaro::test {

SmallFilesystem::SmallFilesystem(const std::filesystem::path& where) : where_(where) {
    std::filesystem::create_directory(where);
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=1m") == 0;
    if (!mounted_)
        error_ = std::strerror(errno);
}

SmallFilesystem::~SmallFilesystem() {
    if (mounted_)
        ::umount2(where_.c_str(), MNT_DETACH);
}

void SmallFilesystem::fill() {
    std::ofstream padding(where_ / "padding", std::ios::binary);
    const std::string block(4096, 'x');
    while (padding.write(block.data(), block.size()))
        padding.flush();
}

void SmallFilesystem::free() {
    std::filesystem::remove(where_ / "padding");
}

} // namespace pelvaro::test
