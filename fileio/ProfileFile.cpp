#include "fileio/ProfileFile.h"

#include "fileio/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

namespace pelvaro {

namespace {

struct Line {
    size_t begin; // offset of the first character
    size_t end;   // offset just past the last character, before the line end
    size_t next;  // offset of the following line
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        const size_t newline = text.find('\n', begin);
        const size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        if (end > begin && text[end - 1] == '\r')
            --end;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimmed(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trimmed(line.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> entryOf(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() == ';')
        return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Entry{trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))};
}

// Where a key stands in a text: the matching line, or the place a new key of
// that section would go.
struct Location {
    bool sectionFound = false;
    std::optional<Line> keyLine;
    size_t insertAt = 0; // after the section's last non-blank line
};

Location locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location where;
    bool inSection = false;
    for (const Line& line : lines) {
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        if (const auto name = sectionName(content)) {
            if (inSection)
                break;
            inSection = sameName(*name, section);
            if (inSection) {
                where.sectionFound = true;
                where.insertAt = line.next;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trimmed(content).empty())
            where.insertAt = line.next;
        const auto entry = entryOf(content);
        if (entry && sameName(entry->key, key)) {
            where.keyLine = line;
            return where;
        }
    }
    return where;
}

std::optional<std::string> fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return text;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
    const Location where = locate(text, splitLines(text), section, key);
    if (!where.keyLine)
        return std::nullopt;
    const Line& line = *where.keyLine;
    return std::string(entryOf(text.substr(line.begin, line.end - line.begin))->value);
}

std::string withProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
    const std::string_view lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::string entry = std::string(key) + "=" + std::string(value);
    const Location where = locate(text, splitLines(text), section, key);

    std::string result;
    if (where.keyLine) {
        result.append(text.substr(0, where.keyLine->begin));
        result.append(entry);
        result.append(text.substr(where.keyLine->end));
        return result;
    }
    if (where.sectionFound) {
        result.append(text.substr(0, where.insertAt));
        if (where.insertAt > 0 && text[where.insertAt - 1] != '\n')
            result.append(lineEnd);
        result.append(entry).append(lineEnd);
        result.append(text.substr(where.insertAt));
        return result;
    }
    result.append(text);
    if (!result.empty() && result.back() != '\n')
        result.append(lineEnd);
    result.append("[").append(section).append("]").append(lineEnd);
    result.append(entry).append(lineEnd);
    return result;
}

std::string withoutProfileValue(std::string_view text, std::string_view section,
                                std::string_view key) {
    const Location where = locate(text, splitLines(text), section, key);
    if (!where.keyLine)
        return std::string(text);
    return std::string(text.substr(0, where.keyLine->begin))
        .append(text.substr(where.keyLine->next));
}

bool removeProfileString(const std::filesystem::path& file, std::string_view section,
                         std::string_view key, std::string_view expected) {
    const auto text = fileText(file);
    if (!text || findProfileValue(*text, section, key) != std::string(expected))
        return true;
    return replaceFileContents(file, withoutProfileValue(*text, section, key));
}

std::optional<std::string> readProfileString(const std::filesystem::path& file,
                                             std::string_view section, std::string_view key) {
    const auto text = fileText(file);
    if (!text)
        return std::nullopt;
    return findProfileValue(*text, section, key);
}

bool writeProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        key.find('=') != std::string_view::npos || section.find(']') != std::string_view::npos)
        return false;
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    if (error)
        return false;
    const auto text = exists ? fileText(file) : std::optional<std::string>(std::string());
    if (!text)
        return false;
    return replaceFileContents(file, withProfileValue(*text, section, key, value));
}

} // namespace pelvaro
