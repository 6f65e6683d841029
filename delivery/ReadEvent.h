#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

// One card read as the company's system receives it, the same for every way
// out. Receivers drop duplicates by its id, which is made once per read.
struct ReadEvent {
    std::string id;     // a UUID of version 7: ordered by time
    std::string time;   // local time with milliseconds and offset: "2026-12-09T11:20:31.123+01:00"
    std::string host;   // this computer's name
    std::string reader; // "Com3", or the device's path
    std::string mode;   // "redirect", "list" or "read"
    std::string code;   // as the reader gave it
    std::string dec;    // its value in decimal
    std::optional<std::string> personnel; // the personnel number stored for the card
    std::optional<std::string> output;    // the text typed or printed
    std::optional<bool> typed;            // typed whole; none when not known (a crash before the typing ended)
    std::optional<std::string> label;     // list mode's label
};

inline constexpr char kReadEventSchema[] = "pelvaro.read/1";

// A new event for a card just read: id, time, host, reader, mode, code and
// its decimal value filled in, the rest empty.
ReadEvent newReadEvent(std::string_view mode, std::string_view reader, std::string_view code);

// The event as one JSON object in UTF-8, its fields in the schema's order.
std::string readEventJson(const ReadEvent& event);

} // namespace pelvaro
