#pragma once

#include "output/CardText.h"

#include <string>
#include <vector>

namespace pelvaro {

// A database answering every code alike, remembering what it was asked.
struct FakePersonnelNumbers {
    PersonnelLookup answer;
    std::vector<std::string> asked;

    PersonnelNumberSource source() {
        return [this](std::string_view code) {
            asked.emplace_back(code);
            return answer;
        };
    }
};

} // namespace pelvaro
