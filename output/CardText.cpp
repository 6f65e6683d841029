#include "output/CardText.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace pelvaro {

PersonnelNumberSource personnelNumbersIn(PersonnelDatabase* database) {
    if (!database)
        return {};
    return [database](std::string_view code) { return database->LookupPersonnelNumber(code); };
}

PersonnelNumberSource askingOnce(PersonnelNumberSource lookup) {
    if (!lookup)
        return {};
    auto answer = std::make_shared<std::optional<PersonnelLookup>>();
    return [lookup = std::move(lookup), answer](std::string_view code) {
        if (!*answer)
            *answer = lookup(code);
        return **answer;
    };
}

std::string UpperCaseCode(std::string_view code) {
    std::string upper(code);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return upper;
}

std::string StoredPersonnelNumber(std::string_view code, const PersonnelNumberSource& lookup) {
    return lookup ? lookup(UpperCaseCode(code)).personnelNumber.value_or("") : std::string();
}

std::string TextToType(std::string_view currentCode, bool substitute,
                       const PersonnelNumberSource& lookup) {
    std::string code = UpperCaseCode(currentCode);
    if (!substitute)
        return code;
    PersonnelLookup found = lookup(code);
    return found.personnelNumber ? std::move(*found.personnelNumber) : code;
}

} // namespace pelvaro
