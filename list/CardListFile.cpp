#include "list/CardListFile.h"

#include "fileio/AtomicFile.h"
#include "list/ExportLine.h"
#include "list/Windows1252.h"

#include <string_view>

namespace pelvaro {

namespace {

constexpr std::string_view kHeader = "LfdNr;Seriennummer HEX; Seriennummer DEZ\r\n";
constexpr std::string_view kLineEnd = "\r\n";
// A numbered label, a 10-digit code and its value.
constexpr size_t kTypicalLineSize = 40;

} // namespace

std::string cardListFileContent(std::span<const CardListRow> rows) {
    std::string content;
    content.reserve(kHeader.size() + rows.size() * kTypicalLineSize);
    content += kHeader;
    for (const CardListRow& row : rows) {
        // Only the code's hexadecimal pairs reach the file, and they are ASCII
        // in either encoding.
        content += BuildExportLine(utf8ToWindows1252(row.label), row.code);
        content += kLineEnd;
    }
    return content;
}

bool writeCardListFile(const std::filesystem::path& path, std::span<const CardListRow> rows) {
    return replaceFileContents(path, cardListFileContent(rows));
}

} // namespace pelvaro
