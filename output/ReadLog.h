#pragma once

#include "text/DateTimeText.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// One card read, as the log keeps it.
struct ReadLogEntry {
    LocalDateTime time;
    std::string_view code;
    std::string_view personnelNumber; // empty if none
    std::string_view output;          // the text given out, TAB and ENTER as U+0009 and U+000A
    std::string_view result;          // what became of it: typed, held back, printed
};

// A CSV file in UTF-8 with a line per card read: time, code, personnel
// number and output, separated by ";". Each line is appended on its own, so
// that a crash loses at most the line being written; a new file starts with
// the column names.
class ReadLog {
public:
    // A file per day in the folder, Pelvaro-YYYY-MM-DD.csv; the folder is made
    // when missing.
    static ReadLog dailyFilesIn(std::filesystem::path folder);
    // Every line into one file.
    static ReadLog intoFile(std::filesystem::path file);

    // Appends the entry, after the lines still waiting. Lines that cannot be
    // written wait, in order, for the next append or flush: a file held by a
    // spreadsheet or a full disk loses nothing. While they wait, the answer
    // says in German why and how many: when the writing starts to fail and
    // at each tenfold of waiting lines; otherwise it stays silent.
    std::optional<std::string> append(const ReadLogEntry& entry);
    // Writes the waiting lines; answers as append does.
    std::optional<std::string> flush();

    // Past this, the oldest waiting line goes for each new one: the lines
    // kept join up with the reads that follow once the file can be written.
    static constexpr size_t kMostWaiting = 10000;

private:
    ReadLog(std::filesystem::path place, bool daily) : place_(std::move(place)), daily_(daily) {}
    std::filesystem::path fileFor(const LocalDateTime& time) const;
    std::optional<std::string> failure(const std::filesystem::path& file);

    struct WaitingLine {
        std::filesystem::path file;
        std::string text;
    };

    std::filesystem::path place_;
    bool daily_;
    std::deque<WaitingLine> waiting_;
    size_t waitingReported_ = 0; // none: the writing has not failed
};

} // namespace pelvaro
