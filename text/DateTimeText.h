#pragma once

#include <string>

namespace pelvaro {

// A moment of the local clock as a calendar shows it.
struct LocalDateTime {
    int year = 1970;
    int month = 1; // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "2026-12-09"
std::string DateText(const LocalDateTime& moment);
// "14:03:07"
std::string TimeOfDayText(const LocalDateTime& moment);
// "2026-12-09T14:03:07"
std::string DateTimeText(const LocalDateTime& moment);

} // namespace pelvaro
