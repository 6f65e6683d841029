#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pelvaro::test {

// Every byte of a file; empty when it cannot be read.
inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace pelvaro::test
