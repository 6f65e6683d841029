#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace pelvaro {

// One row of the card list as the window holds it, in UTF-8.
struct CardListRow {
    std::string label;
    std::string code;
};

// The card list file: the header line, then one export line per row, each
// line ending in CR LF, all in Windows-1252.
std::string cardListFileContent(std::span<const CardListRow> rows);

// Replaces the file with the card list atomically: an existing file is
// never removed first, and stays as it was when the write fails. False on any
// failure, a write-protected target included.
bool writeCardListFile(const std::filesystem::path& path, std::span<const CardListRow> rows);

} // namespace pelvaro
