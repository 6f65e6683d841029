#include "output/ReadLog.h"

#include "fileio/AppendFile.h"
#include "text/PathText.h"

#include <algorithm>

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
// the separator, a quote, a TAB or a line break. One a spreadsheet would take
// for a formula gets a ' in front, which makes it text there.
std::string csvField(std::string_view value) {
    constexpr std::string_view kFormulaStarts("=+-@\t\r\0", 7);
    const bool formula = !value.empty() && kFormulaStarts.find(value.front()) != value.npos;
    if (!formula && value.find_first_of(";\"\t\r\n") == std::string_view::npos)
        return std::string(value);
    std::string field = formula ? "\"'" : "\"";
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
    if (waiting_.size() == kMostWaiting)
        waiting_.pop_front();
    waiting_.push_back({fileFor(entry.time), logLine(entry)});
    return flush();
}

std::optional<std::string> ReadLog::flush() {
    // The lines for one file go in one write, up to a size that a nearly full
    // disk may still take.
    constexpr size_t kMostBytesAtOnce = 64 * 1024;
    while (!waiting_.empty()) {
        const std::filesystem::path file = waiting_.front().file;
        std::string lines;
        size_t count = 0;
        for (; count < waiting_.size() && waiting_[count].file == file &&
               lines.size() < kMostBytesAtOnce;
             ++count)
            lines += waiting_[count].text;
        if (daily_) {
            std::error_code ignored; // a folder that cannot be made fails the write below
            std::filesystem::create_directories(place_, ignored);
        }
        if (!appendToFile(file, kHeader, lines))
            return failure(file);
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
    }
    waitingReported_ = 0;
    return std::nullopt;
}

std::optional<std::string> ReadLog::failure(const std::filesystem::path& file) {
    const size_t count = waiting_.size();
    const size_t worthSaying = std::min(waitingReported_ * 10, kMostWaiting);
    if (waitingReported_ != 0 && (count < worthSaying || waitingReported_ == kMostWaiting))
        return std::nullopt;
    waitingReported_ = count;
    std::string text = "Konnte das Leseprotokoll " + Utf8Path(file) + " nicht schreiben. ";
    if (count == 1)
        return text + "1 Zeile wartet.";
    text += std::to_string(count) + " Zeilen warten";
    if (count == kMostWaiting)
        return text + ", mehr werden nicht gehalten: für jede neue Zeile fällt die älteste weg.";
    return text + ".";
}

} // namespace pelvaro
