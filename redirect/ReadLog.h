#pragma once

#include "text/DateTimeText.h"

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

    // Appends the entry. When it cannot be written, the first time says why in
    // German; after that it stays silent until a line can be written again.
    std::optional<std::string> append(const ReadLogEntry& entry);

private:
    ReadLog(std::filesystem::path place, bool daily) : place_(std::move(place)), daily_(daily) {}
    std::filesystem::path fileFor(const LocalDateTime& time) const;

    std::filesystem::path place_;
    bool daily_;
    bool failing_ = false;
};

} // namespace pelvaro
