// The text typed for a card: its code, or the personnel number stored for it.

#include "output/CardText.h"

#include "tests/support/FakePersonnelNumbers.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

const PersonnelLookup kFound = {{}, "4711"};

constexpr std::string_view kCode = "0A1B2C3D4E";

TEST(TextToType, CodeInUpperCaseWithoutSubstitution) {
    FakePersonnelNumbers database{kFound, {}};
    EXPECT_EQ(TextToType(kCode, false, database.source()), kCode);
    EXPECT_EQ(TextToType("0a1b2c3d4e", false, database.source()), kCode);
    EXPECT_TRUE(database.asked.empty());
}

TEST(TextToType, PersonnelNumberForTheUpperCaseCodeEvenIfEmpty) {
    FakePersonnelNumbers database{kFound, {}};
    EXPECT_EQ(TextToType("0a1b2c3d4e", true, database.source()), "4711");
    EXPECT_EQ(database.asked, std::vector<std::string>{std::string(kCode)});
    database.answer.personnelNumber = "";
    EXPECT_EQ(TextToType(kCode, true, database.source()), "");
}

TEST(TextToType, CodeWhenTheCardIsUnknownOrTheLookupFails) {
    for (const PersonnelLookup& answer :
         {PersonnelLookup{}, PersonnelLookup{{1, "SQL SELECT error"}, std::nullopt}}) {
        FakePersonnelNumbers database{answer, {}};
        EXPECT_EQ(TextToType("0a1b2c3d4e", true, database.source()), kCode);
    }
}

} // namespace
} // namespace pelvaro
