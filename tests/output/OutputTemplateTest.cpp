// The text a template makes of a card: the ways a code is written, the
// personnel number, the moment, the keys, and the templates refused.

#include "output/OutputTemplate.h"

#include "settings/OutputSettings.h"
#include "tests/support/FakePersonnelNumbers.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

const LocalDateTime kMoment = {2026, 12, 9, 14, 3, 7};

OutputTemplate parsed(std::string_view text) {
    const auto [outputTemplate, problem] = OutputTemplate::parse(text);
    EXPECT_TRUE(outputTemplate) << text << ": " << templateProblemText(problem);
    return outputTemplate.value_or(OutputTemplate());
}

std::string rendered(std::string_view text, std::string_view code) {
    return parsed(text).render({code, false, {}, kMoment});
}

std::string refusal(std::string_view text) {
    const auto [outputTemplate, problem] = OutputTemplate::parse(text);
    EXPECT_FALSE(outputTemplate) << text;
    return templateProblemText(problem);
}

constexpr std::string_view kNumbers = "{hex} {rhex} {dec} {dec10} {w26}";

TEST(OutputTemplate, CodeNumbersOfShortMiddleAndLongCodes) {
    EXPECT_EQ(rendered(kNumbers, "123456789A"),
              "123456789A 9A78563412 78187493530 0878082202 086,30874");
    // The same card from a Hitag transponder, whose bytes the reader reverses.
    EXPECT_EQ(rendered(kNumbers, "9A78563412"),
              "9A78563412 123456789A 663443878930 2018915346 086,13330");
    EXPECT_EQ(rendered(kNumbers, "7F"), "7F 7F 127 0000000127 000,00127");
    EXPECT_EQ(rendered(kNumbers, "00FF"), "00FF FF00 255 0000000255 000,00255");
    EXPECT_EQ(rendered(kNumbers, "FFEEDDCCBBAA9988776655"),
              "FFEEDDCCBBAA9988776655 5566778899AABBCCDDEEFF 309404098707666285700277845 "
              "2289526357 119,26197");
    EXPECT_EQ(rendered(kNumbers, "0000000000"), "0000000000 0000000000 0 0000000000 000,00000");
}

TEST(OutputTemplate, DefaultTemplateTypesWhatRedirectModeAlwaysTyped) {
    const OutputTemplate byDefault;
    const OutputTemplate written = parsed(OutputSettings::kDefaultTemplate);
    for (const PersonnelLookup& answer :
         {PersonnelLookup{{}, "4711"}, PersonnelLookup{{}, ""}, PersonnelLookup{},
          PersonnelLookup{{1, "SQL SELECT error"}, std::nullopt}}) {
        for (const bool substitute : {false, true}) {
            FakePersonnelNumbers database{answer, {}};
            const std::string expected = TextToType("0a1b2c3d4e", substitute, database.source());
            for (const OutputTemplate* outputTemplate : {&byDefault, &written}) {
                const CardRead card{"0a1b2c3d4e", substitute, database.source(), kMoment};
                EXPECT_EQ(outputTemplate->render(card), expected) << "substitute " << substitute;
            }
        }
    }
    // Substitution without a database types the code.
    EXPECT_EQ(byDefault.render({"0a1b2c3d4e", true, {}, kMoment}), "0A1B2C3D4E");
}

TEST(OutputTemplate, PersonnelNumberMomentKeysAndBraces) {
    FakePersonnelNumbers database{{{}, "4711"}, {}};
    const OutputTemplate outputTemplate = parsed("{{{pnr}}}{tab}{code}@{date} {time}{enter}");
    EXPECT_TRUE(outputTemplate.namesPersonnelNumber());
    EXPECT_FALSE(parsed("{code}{{pnr}}").namesPersonnelNumber());
    EXPECT_EQ(outputTemplate.render({"0a1b2c3d4e", true, database.source(), kMoment}),
              "{4711}\t4711@2026-12-09 14:03:07\n");
    EXPECT_EQ(database.asked, std::vector<std::string>{"0A1B2C3D4E"}) << "one lookup per card";

    database.answer = {{1, "SQL SELECT error"}, std::nullopt};
    EXPECT_EQ(outputTemplate.render({"0a1b2c3d4e", true, database.source(), kMoment}),
              "{}\t0A1B2C3D4E@2026-12-09 14:03:07\n");
    EXPECT_EQ(outputTemplate.render({"0A1B2C3D4E", false, {}, kMoment}),
              "{}\t0A1B2C3D4E@2026-12-09 14:03:07\n");
    EXPECT_EQ(rendered("Karte: {hex}; \u00DC {{}}", "11"), "Karte: 11; \u00DC {}");
}

TEST(OutputTemplate, ControlCharactersAreLeftOutButTheKeysOfThePlaceholders) {
    FakePersonnelNumbers database{{{}, "A\033B\010C\177D\u0085\u009f\u00a0"}, {}};
    EXPECT_EQ(parsed("\x1b[2J{pnr}\t{tab}\r\n{enter}\x01")
                  .render({"0A", false, database.source(), kMoment}),
              "[2JABCD\u00a0\t\n");
}

TEST(OutputTemplate, MistakesAreRefusedNamingThem) {
    EXPECT_EQ(refusal("{code}{foo}"), "Unbekannter Platzhalter {foo} in der Ausgabevorlage");
    EXPECT_EQ(refusal("{CODE}"), "Unbekannter Platzhalter {CODE} in der Ausgabevorlage");
    EXPECT_EQ(refusal("{}"), "Unbekannter Platzhalter {} in der Ausgabevorlage");
    EXPECT_EQ(refusal("{code"), "Nicht geschlossener Platzhalter {code in der Ausgabevorlage "
                                "(eine Klammer als Text: {{)");
    EXPECT_EQ(refusal("{co{de}"), "Nicht geschlossener Platzhalter {co in der Ausgabevorlage "
                                  "(eine Klammer als Text: {{)");
    EXPECT_EQ(refusal("{code}}"),
              "Einzelne Klammer } in der Ausgabevorlage (eine Klammer als Text: }})");
    EXPECT_EQ(refusal("{\u00DC" + std::string(100, 'x') + "}"),
              "Unbekannter Platzhalter {\u00DCxxxxxxxxxxxxxxxxxx\u2026 in der Ausgabevorlage");
}

TEST(OutputTemplate, LongerThanTheDialogAllowsIsRefusedQuotingLittle) {
    const std::string longest = std::string(OutputTemplate::kMaxCharacters - 1, 'x') + "\u00DC";
    EXPECT_EQ(parsed(longest).render({"0A", false, {}, kMoment}), longest);
    EXPECT_EQ(refusal(longest + "x"), "Die Ausgabevorlage ist l\u00E4nger als 1000 Zeichen: "
                                      "xxxxxxxxxxxxxxxxxxxx\u2026");
}

} // namespace
} // namespace pelvaro
