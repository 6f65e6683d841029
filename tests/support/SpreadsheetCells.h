#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvaro::test {

// A CSV text split into rows and cells as a spreadsheet does when a file is
// opened with a double click: ";" and TAB separate outside quotes, CR, LF or
// both end a row, the quotes go and doubled ones become one.
inline std::vector<std::vector<std::string>> spreadsheetCells(std::string_view csv) {
    std::vector<std::vector<std::string>> rows;
    bool quoted = false;
    bool rowOpen = false;
    for (size_t at = 0; at < csv.size(); ++at) {
        const char c = csv[at];
        if (!rowOpen)
            rows.emplace_back(1);
        rowOpen = true;
        std::string& cell = rows.back().back();
        if (c == '"' && quoted && csv.substr(at, 2) == "\"\"") {
            cell += '"';
            ++at;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (quoted) {
            cell += c;
        } else if (c == ';' || c == '\t') {
            rows.back().emplace_back();
        } else if (c == '\r' || c == '\n') {
            at += csv.substr(at, 2) == "\r\n" ? 1 : 0;
            rowOpen = false;
        } else {
            cell += c;
        }
    }
    return rows;
}

} // namespace pelvaro::test
