#include "text/DateTimeText.h"

#include <cstdio>

namespace pelvaro {

std::string DateText(const LocalDateTime& moment) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", moment.year, moment.month, moment.day);
    return text;
}

std::string TimeOfDayText(const LocalDateTime& moment) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", moment.hour, moment.minute, moment.second);
    return text;
}

std::string DateTimeText(const LocalDateTime& moment) {
    return DateText(moment) + 'T' + TimeOfDayText(moment);
}

} // namespace pelvaro
