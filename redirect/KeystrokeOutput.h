#pragma once

#include "personnel/PersonnelDatabase.h"
#include "redirect/KeystrokeInjector.h"

#include <functional>
#include <string>
#include <string_view>

namespace pelvaro {

// PersonnelDatabase::LookupPersonnelNumber, or a stand-in.
using PersonnelNumberSource = std::function<PersonnelLookup(std::string_view code)>;

// The numbers stored in the database; an empty source without one.
PersonnelNumberSource personnelNumbersIn(PersonnelDatabase* database);

// The same source, asked at most once: every later question gets the first
// answer, whatever code it names. For the several uses of one card's number.
// An empty source stays empty.
PersonnelNumberSource askingOnce(PersonnelNumberSource lookup);

// The code as typed and looked up: letters in upper case.
std::string UpperCaseCode(std::string_view code);

// The personnel number stored for the code; empty when there is none, no
// source, or the lookup fails.
std::string StoredPersonnelNumber(std::string_view code, const PersonnelNumberSource& lookup);

// The text typed for the code last read: the code in upper case, or, with
// substitution on, the personnel number stored for it. Without a stored
// number, or when the lookup fails, it is the code, silently.
std::string TextToType(std::string_view currentCode, bool substitute,
                       const PersonnelNumberSource& lookup);

// The characters of UTF-8 text; bytes that are not well-formed UTF-8 become
// U+FFFD each, as a toolkit shows them.
std::u32string decodeText(std::string_view text);

// Types the UTF-8 text, then ENTER when asked, however long the text is.
TypingResult sendKeystrokes(KeystrokeInjector& injector, std::string_view text, bool enter);

// What became of a typing, as the read log keeps it: "getippt", "teilweise
// getippt: <Grund>" or "nicht getippt: <Grund>".
std::string typingResultText(const TypingResult& result);
// The same as the user is told of a text not typed whole.
std::string typingTroubleText(const TypingResult& result);

} // namespace pelvaro
