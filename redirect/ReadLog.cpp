#include "redirect/ReadLog.h"

#include "fileio/AppendFile.h"
#include "text/PathText.h"

namespace pelvaro {

namespace {

constexpr std::string_view kHeader = "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n";
constexpr std::string_view kLineEnd = "\r\n";

// TAB and ENTER as the placeholders that stand for them, so that a line stays
// one line.
std::string keysAsPlaceholders(std::string_view output) {
    std::string text;
    for (const char c : output) {
        if (c == '\t')
            text += "{tab}";
        else if (c == '\n')
            text += "{enter}";
        else
            text += c;
    }
    return text;
}

// A field as CSV writes it: in quotes, its own quotes doubled, when it holds
// the separator, a quote or a line break.
std::string csvField(std::string_view value) {
    if (value.find_first_of(";\"\r\n") == std::string_view::npos)
        return std::string(value);
    std::string field = "\"";
    for (const char c : value) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + '"';
}

std::string logLine(const ReadLogEntry& entry) {
    return DateTimeText(entry.time) + ';' + csvField(entry.code) + ';' +
           csvField(entry.personnelNumber) + ';' + csvField(keysAsPlaceholders(entry.output)) +
           ';' + csvField(entry.result) + std::string(kLineEnd);
}

} // namespace

ReadLog ReadLog::dailyFilesIn(std::filesystem::path folder) {
    return ReadLog(std::move(folder), true);
}

ReadLog ReadLog::intoFile(std::filesystem::path file) {
    return ReadLog(std::move(file), false);
}

std::filesystem::path ReadLog::fileFor(const LocalDateTime& time) const {
    return daily_ ? place_ / ("Pelvaro-" + DateText(time) + ".csv") : place_;
}

std::optional<std::string> ReadLog::append(const ReadLogEntry& entry) {
    const std::filesystem::path file = fileFor(entry.time);
    if (daily_) {
        std::error_code ignored; // a folder that cannot be made fails the write below
        std::filesystem::create_directories(place_, ignored);
    }
    const bool written = appendToFile(file, kHeader, logLine(entry));
    const bool newlyFailing = !written && !failing_;
    failing_ = !written;
    if (!newlyFailing)
        return std::nullopt;
    return "Konnte das Leseprotokoll " + Utf8Path(file) + " nicht schreiben.";
}

} // namespace pelvaro
