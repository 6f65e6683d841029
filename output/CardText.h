#pragma once

#include "personnel/PersonnelDatabase.h"

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

} // namespace pelvaro
