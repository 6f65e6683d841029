// Arbitrary settings files: look-ups and key-by-key writes must not crash, and
// a written key must read back while the rest of the text stays.

#include "fileio/ProfileFile.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

bool hasAny(const std::string& s, const char* characters) {
    return s.find_first_of(characters) != std::string::npos;
}

bool paddedWithBlanks(const std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !s.empty() && (blank(s.front()) || blank(s.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(16);
    const std::string text = input.ConsumeRemainingBytesAsString();

    pelvaro::findProfileValue(text, section, key);
    // Only names and values as a writer passes them: no line breaks, no
    // brackets or '=' in names, no comment mark, nothing padded with blanks
    // (the reader trims those).
    if (section.empty() || key.empty() || key.front() == ';' || hasAny(section, "\r\n[]") ||
        hasAny(key, "\r\n=[]") || hasAny(value, "\r\n") || paddedWithBlanks(section) ||
        paddedWithBlanks(key) || paddedWithBlanks(value))
        return 0;
    const std::string written = pelvaro::withProfileValue(text, section, key, value);
    if (pelvaro::findProfileValue(written, section, key) != value)
        __builtin_trap();
    return 0;
}
