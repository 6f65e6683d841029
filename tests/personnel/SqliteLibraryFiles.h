#pragma once

#include <filesystem>

namespace pelvaro::test {

// The directory the build puts the programs in, with the SQLite library
// beside them: the one this executable runs from.
std::filesystem::path programsDirectory();

// Copies the library the build placed beside the programs into a program
// directory built by a test.
void placeSqliteLibrary(const std::filesystem::path& programDirectory);

} // namespace pelvaro::test
