#include "list/CardListFile.h"

#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace pelvaro {
namespace {

const std::string kHeader = "LfdNr;Seriennummer HEX; Seriennummer DEZ\r\n";

TEST(CardListFileTest, HeaderThenOneCrLfLinePerRow) {
    EXPECT_EQ(kHeader.size(), 42u);
    EXPECT_EQ(cardListFileContent({}), kHeader);
    const std::vector<CardListRow> rows = {{"0001", "00ABCDEF12"}, {"0002", "0000000001"}};
    EXPECT_EQ(cardListFileContent(rows), kHeader + "0001;00 AB CD EF 12 ;2882400018\r\n"
                                                   "0002;00 00 00 00 01 ;1\r\n");
}

TEST(CardListFileTest, LabelsAreWrittenInWindows1252AndTrimmed) {
    const std::vector<CardListRow> rows = {
        {"  Tor 1\t", "01"}, {"Lager;Süd", "02"}, {"Müller Jörg Groß Ä", "03"}, {"€ 5 ✓", "04"},
        {"Michał", "05"},    {"ł ", "06"},        {" \u00A0x", "07"},
    };
    EXPECT_EQ(cardListFileContent(rows), kHeader + "Tor 1;01 ;1\r\n"
                                                   "Lager;S\xFC"
                                                   "d;02 ;2\r\n"
                                                   "M\xFCller J\xF6rg Gro\xDF \xC4;03 ;3\r\n"
                                                   "\x80 5 ?;04 ;4\r\n"
                                                   "Micha?;05 ;5\r\n"
                                                   "?;06 ;6\r\n"
                                                   "\xA0x;07 ;7\r\n");
}

class CardListFileOnDiskTest : public ::testing::Test {
protected:
    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "Karten.txt";
    std::vector<CardListRow> rows = {{"0001", "00ABCDEF12"}};
    const std::string oldContent = "old list\r\n";
};

TEST_F(CardListFileOnDiskTest, WritesAndReplacesTheWholeFile) {
    ASSERT_TRUE(writeCardListFile(file, rows));
    EXPECT_EQ(contents(file), cardListFileContent(rows));
    rows.clear();
    ASSERT_TRUE(writeCardListFile(file, rows));
    EXPECT_EQ(contents(file), kHeader);
}

TEST_F(CardListFileOnDiskTest, MissingDirectoryFails) {
    EXPECT_FALSE(writeCardListFile(dir.path() / "missing" / "Karten.txt", rows));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(CardListFileOnDiskTest, WriteProtectedFileFailsAndStaysAsItWas) {
    std::ofstream(file, std::ios::binary) << oldContent;
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_FALSE(writeCardListFile(file, rows));
    EXPECT_EQ(contents(file), oldContent);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
} // namespace pelvaro
