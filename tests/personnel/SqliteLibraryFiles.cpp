#include "tests/personnel/SqliteLibraryFiles.h"

#include "personnel/SqliteLibrary.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelvaro::test {

std::filesystem::path programsDirectory() {
#ifdef _WIN32
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, name, MAX_PATH);
    return std::filesystem::path(std::wstring(name, length)).parent_path();
#else
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

void placeSqliteLibrary(const std::filesystem::path& programDirectory) {
    std::filesystem::copy_file(programsDirectory() / kSqliteLibraryFile,
                               programDirectory / kSqliteLibraryFile);
}

} // namespace pelvaro::test
