#include "delivery/ReadEvent.h"

#include "text/DecimalText.h"
#include "text/HexPairs.h"
#include "text/Utf8Decoding.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSysInfo>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace pelvaro {

namespace {

// Version 7: 48 bits of Unix milliseconds, then 74 random bits that count on
// within a millisecond (and past a clock set back), so that ids made here
// never repeat and sort as they were made.
class TimeOrderedIds {
public:
    std::string next(uint64_t unixMilliseconds) {
        constexpr uint64_t kLowMask = (uint64_t{1} << 62) - 1;
        QRandomGenerator& random = *QRandomGenerator::global();
        std::lock_guard lock(mutex_);
        if (unixMilliseconds > milliseconds_) {
            milliseconds_ = unixMilliseconds;
            // The top bit left clear: room to count on in the same millisecond.
            high_ = random.generate() & 0x7FF;
            low_ = random.generate64() & kLowMask;
        } else {
            low_ += 1 + (random.generate() & 0xFFFFFF);
            if (low_ > kLowMask) {
                low_ &= kLowMask;
                if (++high_ > 0xFFF) {
                    high_ = 0;
                    ++milliseconds_;
                }
            }
        }
        const uint64_t first = (milliseconds_ << 16) | 0x7000 | high_;
        const uint64_t second = (uint64_t{0b10} << 62) | low_;
        char text[37];
        std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx",
                      static_cast<unsigned>(first >> 32),
                      static_cast<unsigned>((first >> 16) & 0xFFFF),
                      static_cast<unsigned>(first & 0xFFFF), static_cast<unsigned>(second >> 48),
                      static_cast<unsigned long long>(second & 0xFFFFFFFFFFFFULL));
        return text;
    }

private:
    std::mutex mutex_;
    uint64_t milliseconds_ = 0;
    uint64_t high_ = 0; // 12 bits
    uint64_t low_ = 0;  // 62 bits
};

// "2026-12-09T11:20:31.123+01:00": the local time and its offset from UTC.
std::string localTimeText(const QDateTime& now) {
    const int offsetMinutes = now.offsetFromUtc() / 60;
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char offset[8];
    std::snprintf(offset, sizeof offset, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+',
                  magnitude / 60 % 100, magnitude % 60);
    return now.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")).toStdString() + offset;
}

const std::string& hostName() {
    static const std::string name = QSysInfo::machineHostName().toStdString();
    return name;
}

// A JSON string: quotes and backslashes escaped, control characters as
// \u00XX, and bytes that are no UTF-8 as U+FFFD.
void appendString(std::string& json, std::string_view text) {
    json += '"';
    while (!text.empty()) {
        const Utf8Character character = decodeUtf8Front(text);
        if (!character.wellFormed) {
            json += "\xEF\xBF\xBD";
        } else if (character.codePoint < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x",
                          static_cast<unsigned>(character.codePoint));
            json += escape;
        } else {
            if (character.codePoint == '"' || character.codePoint == '\\')
                json += '\\';
            json += text.substr(0, character.length);
        }
        text.remove_prefix(character.length);
    }
    json += '"';
}

void appendField(std::string& json, const char* name) {
    if (json.size() > 1)
        json += ',';
    json += '"';
    json += name;
    json += "\":";
}

void appendField(std::string& json, const char* name, std::string_view value) {
    appendField(json, name);
    appendString(json, value);
}

void appendOptionalField(std::string& json, const char* name,
                         const std::optional<std::string>& value) {
    appendField(json, name);
    if (value)
        appendString(json, *value);
    else
        json += "null";
}

} // namespace

ReadEvent newReadEvent(std::string_view mode, std::string_view reader, std::string_view code) {
    static TimeOrderedIds ids;
    const QDateTime now = QDateTime::currentDateTime();
    ReadEvent event;
    event.id = ids.next(static_cast<uint64_t>(now.toMSecsSinceEpoch()));
    event.time = localTimeText(now);
    event.host = hostName();
    event.reader = std::string(reader);
    event.mode = std::string(mode);
    event.code = std::string(code);
    event.dec = CodeToDecimal(HexPairBytes(code));
    return event;
}

std::string readEventJson(const ReadEvent& event) {
    std::string json = "{";
    appendField(json, "schema", kReadEventSchema);
    appendField(json, "id", event.id);
    appendField(json, "time", event.time);
    appendField(json, "host", event.host);
    appendField(json, "reader", event.reader);
    appendField(json, "mode", event.mode);
    appendField(json, "code", event.code);
    appendField(json, "dec", event.dec);
    appendOptionalField(json, "personnel", event.personnel);
    appendOptionalField(json, "output", event.output);
    appendField(json, "typed");
    json += !event.typed ? "null" : *event.typed ? "true" : "false";
    appendOptionalField(json, "label", event.label);
    json += '}';
    return json;
}

} // namespace pelvaro
